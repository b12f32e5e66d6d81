#include "queue/QueueFileReading.h"

#include "engine/Download.h"

#include <utility>

namespace tolvenka {

QueueFileReading::QueueFileReading(std::string path)
    : path(std::move(path)) {
    start();
}

QueueFileReading::~QueueFileReading() {
    wait();
}

void QueueFileReading::execute() {
    try {
        read = readQueueFile(path);
    } catch (...) {
        failure = std::current_exception();
    }
    std::function<void()> tell;
    {
        std::lock_guard lock(mutex);
        ended = true;
        tell = std::move(onRead);
    }
    if (tell) {
        tell();
    }
}

bool QueueFileReading::whenRead(std::function<void()> callback) {
    std::lock_guard lock(mutex);
    if (ended) {
        return false;
    }
    onRead = std::move(callback);
    return true;
}

ReadQueueFile QueueFileReading::take() {
    wait();
    if (failure) {
        std::rethrow_exception(std::exchange(failure, nullptr));
    }
    return std::move(read);
}

} // namespace tolvenka

#include "queue/QueueFileReading.h"

#include "engine/Download.h"

#include <utility>

namespace tolvenka {

QueueFileReading::QueueFileReading(std::string path, FileReader readFile)
    : shared(std::make_shared<Shared>()) {
    thread = std::thread([path = std::move(path), readFile = std::move(readFile), shared = shared] {
        readInto(path, readFile, *shared);
    });
}

QueueFileReading::~QueueFileReading() {
    abandon();
    std::lock_guard lock(shared->mutex);
    if (shared->ended) {
        thread.join();
    } else {
        thread.detach();
    }
}

void QueueFileReading::readInto(const std::string& path, const FileReader& readFile,
                                Shared& shared) {
    std::string content;
    int error = 0;
    std::exception_ptr failure;
    try {
        error = readFile(path, content);
        throwIfUnreadable(path, error);
    } catch (...) {
        failure = std::current_exception(); // no memory for a huge file
    }
    {
        std::lock_guard lock(shared.mutex);
        if (shared.abandoned) {
            return;
        }
        shared.parsing = true;
    }
    ReadQueueFile read;
    try {
        if (!failure && error == 0) {
            read = readQueueFileContent(std::move(content));
        }
    } catch (...) {
        failure = std::current_exception();
    }
    {
        // Told under the lock, so that once `abandon` has returned nobody
        // is being told.
        std::lock_guard lock(shared.mutex);
        shared.read = std::move(read);
        shared.failure = failure;
        shared.parsing = false;
        shared.ended = true;
        if (shared.onRead) {
            std::exchange(shared.onRead, nullptr)();
        }
    }
    shared.changed.notify_all();
}

bool QueueFileReading::whenRead(std::function<void()> callback) {
    std::lock_guard lock(shared->mutex);
    if (shared->ended) {
        return false;
    }
    shared->onRead = std::move(callback);
    return true;
}

bool QueueFileReading::hasEnded() const {
    std::lock_guard lock(shared->mutex);
    return shared->ended;
}

ReadQueueFile QueueFileReading::take() {
    std::unique_lock lock(shared->mutex);
    shared->changed.wait(lock, [&] { return shared->ended; });
    if (shared->failure) {
        std::rethrow_exception(std::exchange(shared->failure, nullptr));
    }
    return std::move(shared->read);
}

void QueueFileReading::abandon() {
    std::unique_lock lock(shared->mutex);
    shared->abandoned = true;
    shared->onRead = nullptr;
    shared->changed.wait(lock, [&] { return !shared->parsing; });
}

} // namespace tolvenka

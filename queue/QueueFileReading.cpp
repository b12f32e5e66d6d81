#include "queue/QueueFileReading.h"

#include "engine/Download.h"

#include <utility>

namespace tolvenka {

QueueFileReading::QueueFileReading(std::string path, FileOpener open)
    : shared(std::make_shared<Shared>()) {
    thread = std::thread([path = std::move(path), open = std::move(open), shared = shared] {
        readInto(path, open, *shared);
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

void QueueFileReading::readInto(const std::string& path, const FileOpener& open, Shared& shared) {
    struct Abandoned {};
    // The parsing runs between the waits for the file, and only while
    // somebody still wants what it makes.
    const auto resumeParsing = [&shared] {
        std::lock_guard lock(shared.mutex);
        if (shared.abandoned) {
            throw Abandoned{};
        }
        shared.parsing = true;
    };
    const auto pauseParsing = [&shared] {
        {
            std::lock_guard lock(shared.mutex);
            shared.parsing = false;
        }
        shared.changed.notify_all();
    };
    const auto openOutsideParsing = [&](const std::string& filePath, BlockReader& readBlock) {
        BlockReader fileBlocks;
        const int error = open(filePath, fileBlocks);
        resumeParsing();
        readBlock = [&, fileBlocks = std::move(fileBlocks)](std::string& bytes) {
            pauseParsing();
            const int blockError = fileBlocks(bytes);
            resumeParsing();
            return blockError;
        };
        return error;
    };
    ReadQueueFile read;
    std::exception_ptr failure;
    try {
        read = readQueueFile(path, openOutsideParsing);
    } catch (Abandoned) {
        return; // nothing more is touched: the program may be ending
    } catch (...) {
        failure = std::current_exception(); // no memory for a huge file, or a disk that failed
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

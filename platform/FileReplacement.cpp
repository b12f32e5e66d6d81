#include "platform/FileReplacement.h"

#include "platform/FileSystem.h"

#include <cerrno>
#include <ostream>
#include <utility>

namespace platform {

namespace {

// Thrown into the replacement to end it without a rename.
struct GivenUp {};

} // namespace

FileReplacement::FileReplacement(std::string path, std::function<void(int error)> whenDone)
    : shared(std::make_shared<Shared>()) {
    thread = std::thread([path = std::move(path), whenDone = std::move(whenDone), shared = shared] {
        write(path, *shared, whenDone);
    });
}

FileReplacement::~FileReplacement() {
    bool renames = false;
    {
        std::lock_guard lock(shared->mutex);
        renames = shared->finished && !shared->ended;
    }
    giveUp();
    if (renames) {
        thread.join();
    } else {
        thread.detach();
    }
}

void FileReplacement::append(std::string piece) {
    {
        std::lock_guard lock(shared->mutex);
        // A replacement that failed before its content came takes no more.
        if (shared->ended) {
            return;
        }
        shared->pieces.push_back(std::move(piece));
    }
    shared->changed.notify_one();
}

void FileReplacement::finish() {
    {
        std::lock_guard lock(shared->mutex);
        shared->finished = true;
    }
    shared->changed.notify_one();
}

void FileReplacement::giveUp() {
    {
        std::lock_guard lock(shared->mutex);
        if (shared->finished) {
            return;
        }
        shared->givenUp = true;
    }
    shared->changed.notify_one();
}

void FileReplacement::write(const std::string& path, Shared& shared,
                            const std::function<void(int)>& whenDone) {
    int error = 0;
    try {
        const bool replaced = replaceFileAtomically(
            path,
            [&shared](std::ostream& out) {
                for (;;) {
                    std::string piece;
                    {
                        std::unique_lock lock(shared.mutex);
                        shared.changed.wait(lock, [&] {
                            return shared.givenUp || shared.finished || !shared.pieces.empty();
                        });
                        if (shared.givenUp) {
                            throw GivenUp{};
                        }
                        if (shared.pieces.empty()) {
                            return; // finished
                        }
                        piece = std::move(shared.pieces.front());
                        shared.pieces.pop_front();
                    }
                    out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
                }
            },
            &error);
        if (replaced) {
            error = 0;
        }
    } catch (const GivenUp&) {
        error = -1;
    } catch (...) {
        error = ENOMEM; // the only other thing a replacement throws
    }
    // Told under the lock, and only if the owner still wants to know: once
    // `giveUp` has returned, a thread let go touches nothing outside
    // `shared` (at the program's end, not even the event loop).
    std::lock_guard lock(shared.mutex);
    shared.ended = true;
    shared.pieces.clear();
    shared.changed.notify_all();
    if (shared.givenUp) {
        return;
    }
    try {
        whenDone(error);
    } catch (...) {
        // Nobody is left to tell (the program is ending).
    }
}

} // namespace platform

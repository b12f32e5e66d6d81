#include "platform/QueueLock.h"

#include "platform/FileSystem.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QStandardPaths>
#include <chrono>
#include <thread>

namespace platform {

namespace {

std::filesystem::path besideTheQueue(const std::string& queueFile) {
    std::filesystem::path lock = canonicalSystemPath(queueFile);
    lock += ".lock";
    return lock;
}

std::filesystem::path inFolder(const std::filesystem::path& folder, const std::string& name) {
    return folder.empty() ? std::filesystem::path() : folder / name;
}

} // namespace

QueueLock::QueueLock(const std::string& queueFile, const std::filesystem::path& runtimeFolder)
    : beside(besideTheQueue(queueFile))
    , inRuntimeFolder(inFolder(runtimeFolder, queueName(queueFile) + ".lock")) {}

LockFile::Outcome QueueLock::tryLock() {
    const LockFile::Outcome outcome = beside.tryLock();
    if (outcome != LockFile::Outcome::Unavailable) {
        return outcome;
    }
    runtimeFolderTried = true;
    return inRuntimeFolder.tryLock();
}

LockFile::Outcome QueueLock::tryLockWithin(int timeoutMs) {
    constexpr auto retryInterval = std::chrono::milliseconds(50);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const LockFile::Outcome outcome = tryLock();
        if (outcome != LockFile::Outcome::HeldByAnother ||
            std::chrono::steady_clock::now() >= deadline) {
            return outcome;
        }
        std::this_thread::sleep_for(retryInterval);
    }
}

std::string QueueLock::path() const {
    return runtimeFolderTried ? inRuntimeFolder.path() : beside.path();
}

std::string queueName(const std::string& queueFile) {
    const std::string canonical = canonicalSystemPath(queueFile).native();
    const QByteArray hash = QCryptographicHash::hash(
        QByteArrayView(canonical.data(), static_cast<qsizetype>(canonical.size())),
        QCryptographicHash::Sha256);
    // 128 bits tell apart any queues one user has.
    return "tolvenka-" + hash.toHex().left(32).toStdString();
}

std::filesystem::path userRuntimeFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder.isEmpty() ? std::filesystem::path()
                            : std::filesystem::path(QFile::encodeName(folder).toStdString());
}

} // namespace platform

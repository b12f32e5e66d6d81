#pragma once

#include "archives/UnpackOutcome.h"

#include <stdexcept>
#include <string>

namespace tolvenka::archives {

// Ends the unpacking of a set with its outcome and the user's reason
// (CP1251). Each reason the unpacker gives is made by one of the functions
// below, which keep every text of it in one place.
class UnpackError : public std::runtime_error {
public:
    UnpackError(UnpackOutcome::Result result, std::string reason)
        : std::runtime_error("unpacking stopped")
        , outcomeResult(result)
        , userReason(std::move(reason)) {}

    UnpackOutcome::Result result() const { return outcomeResult; }
    const std::string& reason() const { return userReason; }

    // Names below are CP1251 (entry names converted from the archive's).
    static UnpackError absolutePath(const std::string& entry);
    static UnpackError leadsOutOfFolder(const std::string& entry);
    static UnpackError linkLeadsOut(const std::string& entry);
    static UnpackError throughLink(const std::string& entry);
    static UnpackError hardLinkOutside(const std::string& entry);
    enum class SpecialKind { Device, Pipe, Socket };
    static UnpackError specialFile(const std::string& entry, SpecialKind kind);
    static UnpackError largerThanDeclared(const std::string& entry);
    static UnpackError notEnoughSpace(std::int64_t needed, std::int64_t available);
    // A failure of the file system while writing `entry` (errno).
    static UnpackError cannotWrite(int error, const std::string& entry);
    static UnpackError cannotReadPart(std::size_t partNumber, int error);
    // A part that is damaged or cut: "часть 3 повреждена: ...", or
    // "архив повреждён: ..." for a set of one.
    enum class Damage { Truncated, Checksum, Structure };
    static UnpackError damaged(std::size_t partNumber, std::size_t partCount, Damage damage,
                               const std::string& entry = {});
    static UnpackError notAnArchive();
    static UnpackError missingParts(const std::string& missingText);
    static UnpackError unsupportedEncryption();
    static UnpackError needsPassword();
    static UnpackError cancelled();
    // A failure that none of the above describes (out of memory).
    static UnpackError unexpected();

private:
    UnpackOutcome::Result outcomeResult;
    std::string userReason;
};

} // namespace tolvenka::archives

#pragma once

#include <exception>
#include <string>

namespace tolvenka {

// The short Russian reason (CP1251) that the user is shown for a failure:
// what the file system, the network or the service did. Every such text of
// the program is made here, from one table.
std::string failureReasonOf(std::exception_ptr failure);
// The reason of a reply from the service that holds none of the texts it is
// known to send.
std::string unknownReplyReason();
// The reason why a file could not be saved, from the system's error number.
std::string fileSaveReason(int error);
// Why a local file could not be read, for the system's error number.
std::string fileReadReason(int error);

// Whether waiting and trying again cannot mend the failure, so that the user
// must act: one of the user's own machine, a server certificate that cannot
// be verified, a proxy address that cannot be used, a proxy's refusal of the
// password or of the way asked for.
bool needsTheUser(std::exception_ptr failure);
// Whether the failure stands in the way of every download alike and is no
// fault of the one that met it: a proxy that cannot be reached. The queue
// waits for it to come back rather than count it against the download.
bool blocksEveryDownload(std::exception_ptr failure);

} // namespace tolvenka

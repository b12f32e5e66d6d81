#pragma once

#include <string>
#include <vector>

namespace tolvenka {

class DownloadsSet;

// For each link, whether its file arrived before, so that adding it again
// would only fetch a second copy: the queue holds its download as complete
// (however its scheme and host are written), or the file is in `folder`
// (CP1251), marked by the download that brought it as that link's own.
// Reads the disk; GUI thread, like the queue.
std::vector<bool> arrivedFiles(const DownloadsSet& downloads, const std::vector<std::string>& links,
                               const std::string& folder);

} // namespace tolvenka

#pragma once

#include <istream>
#include <string>

namespace tolvenka {

// Reads one line of the queue file: up to LF, with a CR before it dropped
// (so files with bare LF line ends read the same). False, with `line`
// empty, when no line could be read.
bool readQueueFileLine(std::istream& in, std::string& line);

} // namespace tolvenka

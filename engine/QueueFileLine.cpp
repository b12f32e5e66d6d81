#include "engine/QueueFileLine.h"

namespace tolvenka {

bool readQueueFileLine(std::istream& in, std::string& line) {
    if (!std::getline(in, line)) {
        line.clear();
        return false;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

} // namespace tolvenka

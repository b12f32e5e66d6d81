#include "archives/UnpackOutcome.h"

#include "support/Cp1251.h"

#include <cmath>
#include <cstdio>

namespace tolvenka::archives {

using namespace kestrune::text::literals;

std::string gigabytesText(std::int64_t bytes) {
    if (bytes <= 0) {
        return std::string("0 ГБ"_cp1251);
    }
    const double gigabytes = static_cast<double>(bytes) / (1024.0 * 1024.0 * 1024.0);
    const int decimals = gigabytes < 0.095 ? 2 : 1;
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, gigabytes);
    std::string number = text;
    for (char& c : number) {
        if (c == '.') {
            c = ','; // the Russian decimal sign
        }
    }
    return number + std::string(" ГБ"_cp1251);
}

std::string UnpackOutcome::notice() const {
    return std::string("Распакован набор «"_cp1251) + setName + std::string("»: файлов "_cp1251) +
           std::to_string(fileCount) + ", " + gigabytesText(totalBytes);
}

} // namespace tolvenka::archives

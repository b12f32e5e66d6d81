#pragma once

#include <string>
#include <vector>

namespace tolvenka {

// Finds every address in `text` (CP1251) that begins with "http://" or
// "https://" (letters in any case) and runs on over the URL characters (letters, Cyrillic ones
// too, digits and "~-_+=/.:&%?#"). Each address, as it stands in the text,
// is appended to `allLinks`; those that a download kind accepts are appended
// to `downloadLinks` as well. Addresses come out in the order of their
// starts, once per occurrence, and an address nested in another one is
// reported too. Neither list is cleared.
void extractLinks(std::string text, std::vector<std::string>& allLinks,
                  std::vector<std::string>& downloadLinks);

} // namespace tolvenka

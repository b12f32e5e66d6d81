#pragma once

#include "intake/FoundLinks.h"

#include <cstddef>
#include <string>

namespace tolvenka {

// The most of a text that is searched for links, by where it comes from;
// the rest is left, and the user told so (`textCutMessage`). A page of a
// forum is a few hundred kilobytes, a command line a few kilobytes.
constexpr std::size_t maxPageBytes = 16 * 1024 * 1024;
constexpr std::size_t maxCopyBytes = 4 * 1024 * 1024;
constexpr std::size_t maxTypedBytes = 16 * 1024 * 1024;

// Finds every address in `text` (CP1251) that begins with "http://" or
// "https://" (letters in any case) and runs on over the URL characters
// (letters, Cyrillic ones too, digits and "~-_+=/.:&%?#"), and asks the
// download kinds which are download links. Addresses come out in the order
// of their starts, once per occurrence, and an address nested in another
// one is reported too.
//
// Time and memory grow with the text, never faster: the text is searched up
// to `maxBytes` at most, ending before an address that the limit would cut;
// and the download links and nameless ones, which are copied later, cost at
// most a megabyte more than the text: only addresses nested in each other
// many times over could cost more, and the search ends before their run.
FoundLinks extractLinks(std::string text, std::size_t maxBytes = FoundLinks::maxTextBytes);

// "Текст слишком большой: взяты первые N МБ" for a search that took only
// `takenBytes` of its text.
std::string textCutMessage(std::size_t takenBytes);

} // namespace tolvenka

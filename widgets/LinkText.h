#pragma once

#include <QString>
#include <string>
#include <string_view>

// Links between the program, which holds them as CP1251 and sends them as
// they were given, and the people who read and write them.
namespace tolvenka {

// A link as a person reads it, the way a browser's address bar shows one:
// percent-escapes that spell a character of UTF-8 beyond ASCII show as that
// character, and so do escapes of printable ASCII (a space among them) that
// do not change what the link appears to say. An escape stays as it is
// where it spells a separator or "%" (a "%2F" is not a "/"), where it is no
// UTF-8, and where its character would not show or could hide what the
// link is (controls, every default-ignorable code point, direction controls
// among them, other format characters, spaces beyond ASCII, code points
// without a character). A link with letters written right to left is shown
// in a left-to-right isolate, so that it cannot reorder the text around it.
QString readableLink(std::string_view link);

// Text typed, pasted or dropped, as link extraction takes it (CP1251). A
// character without a CP1251 form does not become "?", which would continue
// an address: a letter, digit or mark becomes the percent-escapes of its
// UTF-8, as a browser sends it, and continues one; any other character
// becomes a space, which ends one.
std::string linkTextOf(const QString& text);

// A fetched page as link extraction takes it: a page in UTF-8 (valid UTF-8
// with bytes beyond ASCII) as `linkTextOf` makes it; any other is taken to
// be CP1251 already and kept.
std::string linkTextOfPage(std::string page);

} // namespace tolvenka

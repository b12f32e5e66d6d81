#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tolvenka {

// The archive passwords that a text (CP1251) gives beside its links, the
// way posts and pages write them: "Пароль: forum", "пароль к архиву -
// forum", "Password = forum", "Pass: x", in any letter case, with ":", "-",
// "–", "—" or "=" between. A password runs to the end of its line or to a
// blank; one in quotes ("", «», “”, '') runs to its closing quote, and the
// quotes are not part of it. Markup on the way (HTML or forum tags, "**")
// is passed over, and a tag ends a password. Words that say there is none
// ("нет", "none") are none.
//
// Each distinct password once, in the order of its first mention. Time
// grows with the text, never faster.
std::vector<std::string> archivePasswordsIn(std::string_view text);

} // namespace tolvenka

#pragma once

#include <string>

namespace tolvenka {

// The message (CP1251) that refuses `folder` (CP1251) when files cannot be
// saved in it: "Нельзя сохранять файлы в папку <folder>: <reason>.", with
// the reason the program gives for a failed download; empty when they can.
// A folder that is not there is made, with its parents, as a transfer would
// make it; then a file is made in it and removed. Asked before downloads are
// set to go there, so that a folder that cannot take them is refused before
// any is queued.
std::string targetFolderRefusal(const std::string& folder);

} // namespace tolvenka

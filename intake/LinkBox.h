#pragma once

#include <string>

class QCheckBox;

namespace tolvenka {

// One row of the confirmation dialog: the check box and the link it stands
// for. The link is kept as given rather than read back from the caption,
// which has its ampersands doubled so that they show instead of becoming
// keyboard mnemonics.
struct LinkBox {
    QCheckBox* box = nullptr;
    std::string link;
};

} // namespace tolvenka

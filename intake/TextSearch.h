#pragma once

#include "intake/FoundLinks.h"

#include <QString>
#include <cstddef>

namespace tolvenka {

// The links of a text typed, pasted, copied or handed over, searched in at
// most its first `maxBytes` once it is CP1251 (see extractLinks); only as
// much of the text as that can take is converted.
FoundLinks findLinks(const QString& text, std::size_t maxBytes);

} // namespace tolvenka

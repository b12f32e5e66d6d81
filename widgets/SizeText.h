#pragma once

#include <QString>
#include <cstdint>

namespace tolvenka {

// A size as people read it, in the largest unit of 1024 it reaches, with one
// decimal below ten of it: "512 Б", "1,5 кБ", "87 МБ", "1,2 ГБ". A negative
// size is not known: "—".
QString sizeText(std::int64_t bytes);

} // namespace tolvenka

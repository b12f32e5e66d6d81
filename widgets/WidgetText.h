#pragma once

#include "support/Cp1251.h"

#include <QString>
#include <string>
#include <string_view>

// The widget edge of the program's CP1251 texts.
namespace tolvenka {

inline QString toQString(std::string_view cp1251) {
    return QString::fromUtf8(kestrune::text::toUtf8(cp1251));
}

// A character with no CP1251 form becomes "?".
inline std::string fromQString(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return kestrune::text::fromUtf8(std::string_view(utf8.constData(), utf8.size()));
}

} // namespace tolvenka

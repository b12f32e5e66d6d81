#include "widgets/SizeText.h"

#include <QLocale>
#include <array>

namespace tolvenka {

QString sizeText(std::int64_t bytes) {
    if (bytes < 0) {
        return QString::fromUtf8("—");
    }
    static const std::array<const char*, 6> units = {"Б", "кБ", "МБ", "ГБ", "ТБ", "ПБ"};
    double value = static_cast<double>(bytes);
    std::size_t unit = 0;
    // Never "1024" of a unit, which rounding would make of 1023.5.
    while (value >= 1023.5 && unit + 1 < units.size()) {
        value /= 1024;
        ++unit;
    }
    const int decimals = unit > 0 && value < 9.95 ? 1 : 0;
    QLocale russian(QLocale::Russian);
    russian.setNumberOptions(QLocale::OmitGroupSeparator);
    const QString number = russian.toString(value, 'f', decimals);
    return number + u' ' + QString::fromUtf8(units[unit]);
}

} // namespace tolvenka

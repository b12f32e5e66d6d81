#include "widgets/LinkText.h"

#include "support/Cp1251.h"
#include "support/HexDigit.h"
#include "widgets/WidgetText.h"

#include <QByteArrayView>
#include <QStringDecoder>
#include <algorithm>
#include <optional>
#include <utility>

namespace tolvenka {

namespace {

constexpr std::size_t escapeLength = 3; // "%XX"

// The byte that the percent-escape at `at` stands for, or -1 when there is
// none there.
int escapedByteAt(std::string_view text, std::size_t at) {
    if (at + escapeLength > text.size() || text[at] != '%') {
        return -1;
    }
    const int high = kestrune::text::hexDigitValue(text[at + 1]);
    const int low = kestrune::text::hexDigitValue(text[at + 2]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

struct EscapedCharacter {
    char32_t codePoint;
    std::size_t length; // of its escapes in the text
};

// The character beyond ASCII that the escapes from `at` spell in UTF-8; none
// when they spell no whole character or one in a form UTF-8 does not allow
// (too long a form, a surrogate, beyond U+10FFFF).
std::optional<EscapedCharacter> escapedCharacterAt(std::string_view text, std::size_t at) {
    const int lead = escapedByteAt(text, at);
    std::size_t continuations = 0;
    char32_t codePoint = 0;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        continuations = 1;
        codePoint = static_cast<char32_t>(lead & 0x1F);
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        continuations = 2;
        codePoint = static_cast<char32_t>(lead & 0x0F);
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        continuations = 3;
        codePoint = static_cast<char32_t>(lead & 0x07);
        least = 0x10000;
    } else {
        return std::nullopt;
    }
    for (std::size_t i = 1; i <= continuations; ++i) {
        const int next = escapedByteAt(text, at + i * escapeLength);
        if (next < 0x80 || next > 0xBF) {
            return std::nullopt;
        }
        codePoint = (codePoint << 6) | static_cast<char32_t>(next & 0x3F);
    }
    if (codePoint < least || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        return std::nullopt;
    }
    return EscapedCharacter{codePoint, (continuations + 1) * escapeLength};
}

// The code points with the property Default_Ignorable_Code_Point (which
// takes in every control of the writing direction): a text shows nothing
// for them, or nothing that tells two links apart.
constexpr std::pair<char32_t, char32_t> defaultIgnorables[] = {
    {0x00AD, 0x00AD},   {0x034F, 0x034F},   {0x061C, 0x061C}, {0x115F, 0x1160}, {0x17B4, 0x17B5},
    {0x180B, 0x180F},   {0x200B, 0x200F},   {0x202A, 0x202E}, {0x2060, 0x206F}, {0x3164, 0x3164},
    {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF},   {0xFFA0, 0xFFA0}, {0xFFF0, 0xFFF8}, {0x1BCA0, 0x1BCA3},
    {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF},
};

bool isDefaultIgnorable(char32_t codePoint) {
    return std::any_of(std::begin(defaultIgnorables), std::end(defaultIgnorables),
                       [codePoint](const auto& range) {
                           return codePoint >= range.first && codePoint <= range.second;
                       });
}

// Whether a character shows as itself: not invisible, not blank, and not
// one that changes how the text around it shows.
bool showsAsItself(char32_t codePoint) {
    if (isDefaultIgnorable(codePoint)) {
        return false;
    }
    switch (QChar::category(codePoint)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return false;
    default:
        return true;
    }
}

// An escape of printable ASCII that reads as its character without
// changing what the link appears to say: not a separator of its parts
// ("/" and the backslash, which counts as one, "?", "#", and "&", "=", "+",
// ";" of a query), nor "%", which would make the next characters read as an
// escape.
bool readsAsItsCharacter(int byte) {
    constexpr std::string_view keptEscaped = "/\\?#&=+;%";
    return byte >= 0x20 && byte < 0x7F &&
           keptEscaped.find(static_cast<char>(byte)) == std::string_view::npos;
}

bool writesRightToLeft(char32_t codePoint) {
    const QChar::Direction direction = QChar::direction(codePoint);
    return direction == QChar::DirR || direction == QChar::DirAL || direction == QChar::DirAN;
}

void appendForLinks(std::string& linkText, char32_t codePoint) {
    if (const int byte = kestrune::text::cp1251Byte(codePoint); byte >= 0) {
        linkText += static_cast<char>(byte);
        return;
    }
    if (!QChar::isLetterOrNumber(codePoint) && !QChar::isMark(codePoint)) {
        linkText += ' ';
        return;
    }
    constexpr std::string_view hexDigits = "0123456789ABCDEF";
    for (const char c : QString::fromUcs4(&codePoint, 1).toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        linkText.append({'%', hexDigits[byte >> 4], hexDigits[byte & 0x0F]});
    }
}

} // namespace

QString readableLink(std::string_view link) {
    QString shown;
    bool rightToLeft = false;
    std::size_t plainStart = 0;
    const auto showInstead = [&](std::size_t at, const QString& character) {
        shown += toQString(link.substr(plainStart, at - plainStart));
        shown += character;
    };
    for (std::size_t at = link.find('%'); at != std::string_view::npos; at = link.find('%', at)) {
        if (const int byte = escapedByteAt(link, at); readsAsItsCharacter(byte)) {
            showInstead(at, QChar(byte));
            at += escapeLength;
            plainStart = at;
            continue;
        }
        const std::optional<EscapedCharacter> escaped = escapedCharacterAt(link, at);
        if (!escaped || !showsAsItself(escaped->codePoint)) {
            ++at;
            continue;
        }
        showInstead(at, QString::fromUcs4(&escaped->codePoint, 1));
        rightToLeft = rightToLeft || writesRightToLeft(escaped->codePoint);
        at += escaped->length;
        plainStart = at;
    }
    shown += toQString(link.substr(plainStart));
    // Letters written right to left keep their own order, but inside a
    // left-to-right isolate, so that they cannot reorder the rest of the
    // link, nor the text around it.
    if (rightToLeft) {
        shown = QChar(0x2066) + shown + QChar(0x2069);
    }
    return shown;
}

std::string linkTextOf(const QString& text) {
    std::string linkText;
    linkText.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t codePoint = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        appendForLinks(linkText, codePoint);
    }
    return linkText;
}

std::string linkTextOfPage(std::string page) {
    if (std::all_of(page.begin(), page.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return page;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(QByteArrayView(page.data(), std::ssize(page)));
    return decoder.hasError() ? page : linkTextOf(text);
}

} // namespace tolvenka

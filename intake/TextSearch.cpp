#include "intake/TextSearch.h"

#include "intake/LinkExtraction.h"
#include "widgets/LinkText.h"

namespace tolvenka {

FoundLinks findLinks(const QString& text, std::size_t maxBytes) {
    // A character becomes one byte or more, so a text longer than the limit
    // still converts to one longer than it, and the search says it was cut.
    const auto charsNeeded = static_cast<qsizetype>(std::min<std::size_t>(
        maxBytes + 1, static_cast<std::size_t>(std::numeric_limits<qsizetype>::max())));
    return extractLinks(linkTextOf(text.left(charsNeeded)), maxBytes);
}

} // namespace tolvenka

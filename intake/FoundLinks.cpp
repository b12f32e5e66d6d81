#include "intake/FoundLinks.h"

#include <unordered_set>

namespace tolvenka {

FoundLinks::FoundLinks(std::string text, std::size_t takenBytes)
    : wholeText(std::move(text))
    , taken(takenBytes)
    , cut(takenBytes < wholeText.size()) {}

std::string_view FoundLinks::address(std::size_t index) const {
    const Place place = places[index];
    return std::string_view(wholeText).substr(place.start, place.length);
}

void FoundLinks::cutBefore(std::size_t index) {
    if (index < places.size()) {
        taken = places[index].start;
        for (std::size_t dropped = index; dropped < places.size(); ++dropped) {
            downloadCount -= kindOf(dropped) == Kind::Download ? 1 : 0;
        }
        places.resize(index);
    }
    cut = true;
}

std::vector<std::string> FoundLinks::downloadLinks() const {
    std::vector<std::string> links;
    links.reserve(downloadCount);
    for (std::size_t index = 0; index < places.size(); ++index) {
        if (kindOf(index) == Kind::Download) {
            links.emplace_back(address(index));
        }
    }
    return links;
}

std::size_t FoundLinks::distinctNamelessCount() const {
    std::unordered_set<std::string_view> nameless;
    for (std::size_t index = 0; index < places.size(); ++index) {
        if (kindOf(index) == Kind::Nameless) {
            nameless.insert(address(index));
        }
    }
    return nameless.size();
}

} // namespace tolvenka

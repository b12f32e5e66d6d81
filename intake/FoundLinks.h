#pragma once

#include "service/LinkClass.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tolvenka {

// The addresses that link extraction found in a text, held as places in the
// text rather than as copies: an address nested in another runs on to the
// same end, so copies of a run of N markers would cost N² bytes, and places
// cost eight bytes an address however long it is.
//
// Each address is a download link (a download kind accepts it), a link that
// a kind refuses only for want of a file name, or another address.
class FoundLinks {
public:
    using Kind = LinkClass;

    // The longest text a search takes, so that a place fits in 64 bits.
    static constexpr std::size_t maxTextBytes = (std::size_t{1} << 30) - 1;

    FoundLinks() = default;
    // `takenBytes`: how much of `text` was searched.
    FoundLinks(std::string text, std::size_t takenBytes);

    const std::string& text() const { return wholeText; }

    // Every address in the order of its start.
    std::size_t count() const { return places.size(); }
    std::string_view address(std::size_t index) const;
    Kind kindOf(std::size_t index) const { return static_cast<Kind>(places[index].kind); }

    // The download links in order, once per occurrence, as copies.
    std::vector<std::string> downloadLinks() const;
    bool hasDownloadLinks() const { return downloadCount > 0; }
    // The links refused for want of a file name, each counted once.
    std::size_t distinctNamelessCount() const;

    // Whether the search stopped before the end of the text (see
    // extractLinks), or the text itself is the start of a longer one; and
    // how many bytes from its start were taken.
    bool isCut() const { return cut; }
    std::size_t takenBytes() const { return taken; }

    // Appends an address found at [start, end) of the text.
    void add(std::size_t start, std::size_t end, Kind kind) {
        places.push_back(Place{static_cast<std::uint32_t>(start),
                               static_cast<std::uint32_t>(end - start),
                               static_cast<std::uint32_t>(kind)});
        downloadCount += kind == Kind::Download ? 1 : 0;
    }
    // Room for `count` addresses.
    void reserve(std::size_t count) { places.reserve(count); }
    // The search ends before the address `index`, which goes with every one
    // after it.
    void cutBefore(std::size_t index);
    // The text is the first `takenBytes` of a longer one (a page).
    void noteCutSource(std::size_t sourceBytesTaken) {
        taken = cut ? std::min(taken, sourceBytesTaken) : sourceBytesTaken;
        cut = true;
    }

private:
    struct Place {
        std::uint32_t start;
        std::uint32_t length : 30;
        std::uint32_t kind : 2;
    };
    static_assert(sizeof(Place) == 8);

    std::string wholeText;
    std::vector<Place> places;
    std::size_t taken = 0;
    bool cut = false;
    std::size_t downloadCount = 0;
};

} // namespace tolvenka

#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>

namespace fuzzing {

// Aborts when a property does not hold: libFuzzer then keeps the input.
inline void require(bool holds, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "broken property: %s\n", property);
        std::abort();
    }
}

// A prefix of `length` bytes, parsed into `part`, is either still unfinished
// or has the whole's verdict: the reply ends at the same byte with the same
// content (`sameContent`), or the same fault has shown. A prefix that holds
// a whole reply completes.
template <typename Result, typename SameContent>
void requirePrefixAgrees(const Result& part, std::size_t length, const Result& whole,
                         SameContent sameContent) {
    using Status = decltype(whole.status);
    if (whole.status == Status::Complete && length >= whole.consumed) {
        require(part.status == Status::Complete, "a prefix holding the whole reply completes");
    }
    if (part.status == Status::NeedMore) {
        return;
    }
    require(part.status == whole.status, "a prefix's verdict is the whole reply's");
    if (part.status == Status::Complete) {
        require(part.consumed == whole.consumed, "a prefix's reply ends where the whole's does");
        require(sameContent(), "a prefix's reply is the whole's");
    }
}

} // namespace fuzzing

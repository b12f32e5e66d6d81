#pragma once

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

} // namespace fuzzing

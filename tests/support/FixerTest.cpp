#include "support/Fixer.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace {

struct Tracked {
    explicit Tracked(int& deletions)
        : deletions(deletions) {}
    ~Tracked() { ++deletions; }
    int& deletions;
};

} // namespace

TEST(Fixer, RestoresThePreviousValueAtScopeExit) {
    int value = 1;
    {
        kestrune::fixer<int> guard(value, 2);
        EXPECT_EQ(value, 2);
    }
    EXPECT_EQ(value, 1);
}

TEST(PtrFixer, DeletesTheInstalledObjectAndRestoresThePointer) {
    int deletions = 0;
    Tracked* place = nullptr;
    {
        kestrune::ptrFixer<Tracked> guard(place, new Tracked(deletions));
        EXPECT_NE(place, nullptr);
    }
    EXPECT_EQ(place, nullptr);
    EXPECT_EQ(deletions, 1);
}

TEST(PtrFixer, AlsoWhenTheScopeIsLeftByAnException) {
    int deletions = 0;
    Tracked previous(deletions);
    Tracked* place = &previous;
    EXPECT_THROW(
        {
            kestrune::ptrFixer<Tracked> guard(place, new Tracked(deletions));
            throw std::runtime_error("leave");
        },
        std::runtime_error);
    EXPECT_EQ(place, &previous);
    EXPECT_EQ(deletions, 1);
}

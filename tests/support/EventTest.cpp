#include "support/Event.h"

#include <gtest/gtest.h>

TEST(Event, EmptyEventDoesNothingAndAssignmentReplaces) {
    kestrune::Event<int> event;
    EXPECT_FALSE(event);
    event(1);

    int first = 0;
    int second = 0;
    event = [&](int value) {
        first += value;
    };
    event(2);
    event = [&](int value) {
        second += value;
    };
    event(3);
    EXPECT_EQ(first, 2);
    EXPECT_EQ(second, 3);

    event.clear();
    event(4);
    EXPECT_EQ(second, 3);
}

// One handler given to many events (every download of a queue) is shared,
// and an event given another handler leaves the others theirs.
TEST(Event, CopiesShareTheHandlerUntilOneIsGivenAnother) {
    int sum = 0;
    kestrune::Event<int> original;
    original = [&](int value) {
        sum += value;
    };
    const kestrune::Event<int> copy = original;
    copy(1);
    original = [&](int value) {
        sum += 10 * value;
    };
    copy(2);
    original(3);
    EXPECT_EQ(sum, 1 + 2 + 30);
    original.clear();
    EXPECT_TRUE(copy);
}

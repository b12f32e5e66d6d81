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

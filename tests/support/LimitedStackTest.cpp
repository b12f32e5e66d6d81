#include "support/LimitedStack.h"

#include "support/Cp1251.h"

#include <gtest/gtest.h>
#include <vector>

using kestrune::containers::LimitedStack;
using kestrune::containers::exceptions::LimitedStackInvalidIterator;
using namespace kestrune::text::literals;

namespace {

template <typename T>
std::vector<T> contents(const LimitedStack<T>& stack) {
    std::vector<T> values;
    for (auto it = stack.begin(); it != stack.end(); ++it) {
        values.push_back(*it);
    }
    return values;
}

} // namespace

TEST(LimitedStack, KeepsTheLastValuesOldestFirstOnceFull) {
    LimitedStack<int> stack(3);
    for (int value : {1, 2, 3, 4}) {
        stack.push(value);
    }
    EXPECT_EQ(stack.size(), 3);
    EXPECT_EQ(contents(stack), (std::vector<int>{2, 3, 4}));

    for (int value : {5, 6, 7, 8, 9}) {
        stack.push(value);
    }
    EXPECT_EQ(contents(stack), (std::vector<int>{7, 8, 9}));
}

TEST(LimitedStack, ClearForgetsEverythingAndRefillsFromThere) {
    LimitedStack<int> stack(3);
    for (int value : {1, 2, 3, 4}) {
        stack.push(value);
    }
    stack.clear();
    EXPECT_EQ(stack.size(), 0);
    EXPECT_TRUE(stack.begin() == stack.end());

    stack.push(9);
    EXPECT_EQ(contents(stack), (std::vector<int>{9}));
    stack.push(10);
    stack.push(11);
    stack.push(12);
    EXPECT_EQ(contents(stack), (std::vector<int>{10, 11, 12}));
}

TEST(LimitedStack, EmptyStackIteratesOverNothing) {
    LimitedStack<int> stack(300);
    EXPECT_TRUE(stack.begin() == stack.end());
    EXPECT_TRUE(contents(stack).empty());
}

TEST(LimitedStack, DereferencingOutsideTheValuesThrowsWithTheContainerName) {
    LimitedStack<int> stack(2);
    stack.push(5);
    try {
        (void)*stack.end();
        FAIL() << "dereferencing end() must throw";
    } catch (const LimitedStackInvalidIterator& error) {
        EXPECT_EQ(error.getContainerName(), "kestrune::containers::LimitedStack<int>");
        EXPECT_EQ(error.getElementName(), "int");
        EXPECT_EQ(error.text(),
                  std::string("Ошибка: Итератор ссылается за пределы контейнера."_cp1251));
    }
    EXPECT_THROW((void)*LimitedStack<int>::Iterator(), LimitedStackInvalidIterator);
    EXPECT_EQ(*stack.begin(), 5);
}

TEST(LimitedStack, IteratorsOfDifferentStacksAreUnequal) {
    LimitedStack<int> first(2);
    LimitedStack<int> second(2);
    EXPECT_FALSE(first.begin() == second.begin());
}

TEST(LimitedStack, CapacityOfOneKeepsOnlyTheNewest) {
    LimitedStack<int> stack(1);
    stack.push(1);
    stack.push(2);
    EXPECT_EQ(contents(stack), (std::vector<int>{2}));
}

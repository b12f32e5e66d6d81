#include "support/Cp1251.h"
#include "support/LimitedStackExceptions.h"

#include <gtest/gtest.h>

using namespace kestrune::exceptions;
using namespace kestrune::containers::exceptions;
using namespace kestrune::text::literals;

TEST(Exceptions, PlainTextIsErrorPrefixAndMessage) {
    const Exception error(std::string("сбой"_cp1251));
    EXPECT_EQ(error.text(), std::string("Ошибка: сбой"_cp1251));
    EXPECT_EQ(LimitedStackException("x").text(), std::string("Ошибка: x"_cp1251));
}

TEST(Exceptions, OutOfMemoryNamesCountTypeAndSize) {
    const LimitedStackOutOfMemory error("int", 300, 4);
    EXPECT_EQ(error.getMessage(), std::string("Недостаточно памяти."_cp1251));
    EXPECT_EQ(error.text(), std::string("Ошибка при попытке выделить место для 300 объектов типа "
                                        "int по 4 байт каждый: недостаточно памяти."_cp1251));
}

TEST(Exceptions, EveryClassIsCaughtThroughItsBases) {
    try {
        throw LimitedStackOutOfMemory("int", 1, 4);
    } catch (const OutOfMemory& error) {
        EXPECT_EQ(error.getMessage(), std::string("Недостаточно памяти."_cp1251));
    }
    try {
        throw LimitedStackInvalidIterator("int");
    } catch (const Exception& error) {
        // One message however the object is reached: the base is virtual.
        EXPECT_EQ(error.getMessage(), invalidIteratorMessage());
    }
    try {
        throw LimitedStackInvalidIterator("int");
    } catch (const IteratorException& error) {
        EXPECT_EQ(error.getContainerName(), "kestrune::containers::LimitedStack<int>");
    }
}

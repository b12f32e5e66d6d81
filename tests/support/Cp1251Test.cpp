#include "support/Cp1251.h"

#include <gtest/gtest.h>

using namespace kestrune::text;
using namespace kestrune::text::literals;

TEST(Cp1251, LiteralIsConvertedAtCompileTime) {
    constexpr std::string_view word = "Ёж и ёж"_cp1251;
    static_assert(word.size() == 7);
    EXPECT_EQ(word, std::string_view("\xA8\xE6 \xE8 \xB8\xE6"));
    EXPECT_EQ("В очереди"_cp1251.size(), 9u);
}

TEST(Cp1251, EveryByteSurvivesARoundTripThroughUtf8) {
    std::string all;
    for (int byte = 1; byte < 256; ++byte) {
        all += static_cast<char>(byte);
    }
    EXPECT_EQ(fromUtf8(toUtf8(all)), all);
}

TEST(Cp1251, ConvertsCyrillicAndSymbolsBothWays) {
    EXPECT_EQ(toUtf8("\xCF\xF0\xE8\xE2\xE5\xF2"), "Привет");
    EXPECT_EQ(toUtf8("\xB9 \x88"), "№ €");
    EXPECT_EQ(fromUtf8("Загрузка"), std::string("Загрузка"_cp1251));
}

TEST(Cp1251, CharactersWithoutACp1251FormBecomeQuestionMarks) {
    EXPECT_EQ(fromUtf8("a中b😀c"), "a?b?c");
    EXPECT_FALSE(isCp1251Representable("файл中"));
    EXPECT_TRUE(isCp1251Representable("файл.zip"));
    // Broken UTF-8 is not trusted either.
    EXPECT_EQ(fromUtf8("a\xC3"), "a?");
    EXPECT_EQ(fromUtf8("\xE2\x82"), "??");
}

TEST(Cp1251, LowerCasesLatinAndCyrillicLettersOnly) {
    EXPECT_EQ(toLowerCp1251("HTTP://Example.COM/Files/1/"), "http://example.com/files/1/");
    EXPECT_EQ(toLowerCp1251("ЁЖИК Ёлка"_cp1251), std::string("ёжик ёлка"_cp1251));
    EXPECT_EQ(toLowerCp1251("АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ"_cp1251),
              std::string("абвгдежзийклмнопрстуфхцчшщъыьэюя"_cp1251));
    EXPECT_EQ(toLowerCp1251("ЇІЄҐЎ"_cp1251), std::string("їієґў"_cp1251));
    EXPECT_EQ(toLowerCp1251("09 _-№«»"_cp1251), std::string("09 _-№«»"_cp1251));
}

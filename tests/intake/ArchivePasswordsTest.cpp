#include "intake/ArchivePasswords.h"

#include "support/Cp1251.h"

#include <gtest/gtest.h>

namespace {

using kestrune::text::literals::operator""_cp1251;
using Passwords = std::vector<std::string>;

struct TextCase {
    std::string_view text;
    Passwords passwords;
};

std::string cp(std::string_view utf8) {
    return kestrune::text::fromUtf8(utf8);
}

} // namespace

TEST(ArchivePasswords, AreFoundInTheWaysPostsWriteThem) {
    const std::vector<TextCase> cases = {
        {"Пароль: forum", {"forum"}},
        {"пароль к архиву - forum", {"forum"}},
        {"ПАРОЛЬ НА АРХИВ — s3cr3t!", {"s3cr3t!"}},
        {"password: forum", {"forum"}},
        {"Password for the archive = x_y", {"x_y"}},
        {"Pass: x", {"x"}},
        {"pass:x\r\nnext line", {"x"}},
        {"Пароль – ключ.2024", {"ключ.2024"}},
        {"Пароль:\t«рыба кит» и ссылки", {"рыба кит"}},
        {"Password: \"two words\" here", {"two words"}},
        {"Пароль: 'a'", {"a"}},
        {"Пароль: \"unclosed", {"unclosed"}},
        {"<b>Пароль:</b> forum<br>http://h/x.rar", {"forum"}},
        {"[b]Пароль[/b]: [color=red]forum[/color]", {"forum"}},
        {"**Password**: forum", {"forum"}},
        {"Пароль:&nbsp;forum&nbsp;", {"forum"}},
    };
    for (const TextCase& expected : cases) {
        SCOPED_TRACE(std::string(expected.text));
        Passwords wanted;
        for (const std::string& password : expected.passwords) {
            wanted.push_back(cp(password));
        }
        EXPECT_EQ(tolvenka::archivePasswordsIn(cp(expected.text)), wanted);
    }
}

TEST(ArchivePasswords, WordsAndAddressesThatOnlyLookLikeOneGiveNone) {
    for (const std::string_view text : {
             "Пароль не нужен - качайте",
             "Пароль: нет",
             "password: none",
             "Пароль -",
             "Пароль:\nforum",
             "passport: 123",
             "Пароли: a, b",
             "bypass: x",
             "http://h/files/1/pass-archive.rar",
             "http://h/login?user=a&pass=b",
             "a pass-through cable",
             "Пароль к этому посту: x",
             "Пароль: \"\"",
         }) {
        EXPECT_EQ(tolvenka::archivePasswordsIn(cp(text)), Passwords{}) << text;
    }
}

TEST(ArchivePasswords, EachDistinctPasswordComesOnceInTheOrderOfItsFirstMention) {
    const std::string text = cp("Часть 1: http://h/a.part1.rar\nПароль: alpha\n"
                                "Часть 2: http://h/b.part1.rar\npassword: beta\n"
                                "Напоминаю, пароль: alpha\nPass: gamma");
    EXPECT_EQ(tolvenka::archivePasswordsIn(text), (Passwords{"alpha", "beta", "gamma"}));
}

TEST(ArchivePasswords, ALongOrHostileTextEndsAndGivesOnlyWhatFits) {
    // A label on every line, each with a quote that never closes and a
    // password longer than any: the search still walks the text once.
    std::string text;
    for (int line = 0; line < 20000; ++line) {
        text += std::string("Пароль: \""_cp1251) + std::string(300, 'x') + "\n";
    }
    text += cp("password: ok <");
    EXPECT_EQ(tolvenka::archivePasswordsIn(text), Passwords{"ok"});
    EXPECT_EQ(tolvenka::archivePasswordsIn(""), Passwords{});
    EXPECT_EQ(tolvenka::archivePasswordsIn("pass"), Passwords{});
    EXPECT_EQ(tolvenka::archivePasswordsIn("Пароль:"_cp1251), Passwords{});
}

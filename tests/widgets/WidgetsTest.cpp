#include "support/Cp1251.h"
#include "widgets/ElidedLabel.h"
#include "widgets/LinkText.h"
#include "widgets/PushButton.h"
#include "widgets/RussianTranslations.h"
#include "widgets/SizeText.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace kestrune::text::literals;
using tolvenka::ElidedLabel;
using tolvenka::PushButton;

TEST(PushButton, EnterAndKeypadEnterPressItLikeSpace) {
    QWidget window;
    PushButton button(QStringLiteral("Добавить"), QRect(8, 8, 145, 25), &window);
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] { ++clicks; });
    QTest::keyClick(&button, Qt::Key_Return);
    QTest::keyClick(&button, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(&button, Qt::Key_Space);
    EXPECT_EQ(clicks, 3);
    EXPECT_FALSE(button.autoDefault());
    EXPECT_EQ(button.geometry(), QRect(8, 8, 145, 25));
}

TEST(ElidedLabel, ALongTextIsCutInTheMiddleAndShownWholeAsATooltip) {
    QWidget window;
    const QString path = QStringLiteral("/home/user/Загрузки/") + QString(200, QLatin1Char('x')) +
                         QStringLiteral("/report.zip");
    ElidedLabel label(path, &window);
    window.show();
    label.resize(200, 20);
    EXPECT_TRUE(label.text().startsWith(QStringLiteral("/home/user/")));
    EXPECT_TRUE(label.text().endsWith(QStringLiteral("report.zip")));
    EXPECT_LT(label.text().size(), path.size());
    EXPECT_EQ(label.toolTip(), path);

    label.setFullText(QStringLiteral("short"));
    EXPECT_EQ(label.text(), QStringLiteral("short"));
    EXPECT_TRUE(label.toolTip().isEmpty());
}

TEST(RussianTranslations, TheFolderBrowserSpeaksRussian) {
    ASSERT_TRUE(tolvenka::loadRussianTranslations(*QCoreApplication::instance()));
    QFileDialog browser;
    browser.setFileMode(QFileDialog::Directory);
    browser.setOption(QFileDialog::DontUseNativeDialog);
    auto* buttons = browser.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Отмена"));
    EXPECT_EQ(buttons->button(QDialogButtonBox::Open)->text(), QStringLiteral("&Выбрать"));
}

TEST(LinkText, EscapesThatSpellUtf8LettersReadAsTheLettersAndOthersStayAsWritten) {
    EXPECT_EQ(tolvenka::readableLink("http://h/files/1/%D0%93%d0%be%D0%B4.zip?%D1%8F#%E4%B8%AD"),
              QStringLiteral("http://h/files/1/Год.zip?я#中"));
    EXPECT_EQ(tolvenka::readableLink("http://h/files/2/Ёлка%20%F0%9F%8E%84%28%31%29.zip"_cp1251),
              QStringLiteral("http://h/files/2/Ёлка 🎄(1).zip"));
    // Separators and "%", a cut or broken sequence, a too long form, a
    // surrogate, beyond U+10FFFF, a reversal of the writing direction, a
    // non-breaking space, a control, a broken escape; and what shows nothing
    // or nothing that tells links apart: a grapheme joiner, variation
    // selectors, Khmer inherent vowels, Hangul fillers, a tag, an isolate.
    for (const char* kept :
         {"%2F",          "%5C",       "%3F",       "%23",          "%25",       "%26",
          "%3D",          "%2B",       "%3B",       "%7F",          "%0A",       "%D0",
          "%D0%2F",       "%C0%AF",    "%ED%A0%80", "%F4%90%80%80", "%E2%80%AE", "%C2%A0",
          "%C2%85",       "%FF",       "%D0%",      "%zz%",         "%CD%8F",    "%EF%B8%8F",
          "%F3%A0%84%80", "%E1%9E%B4", "%E1%85%9F", "%E3%85%A4",    "%EF%BE%A0", "%F3%A0%80%81",
          "%E2%81%A6",    "%E1%A0%8B"}) {
        const std::string link = std::string("http://h/files/3/a") + kept + "b";
        EXPECT_EQ(tolvenka::readableLink(link), QString::fromLatin1(link)) << kept;
    }
}

// Letters written right to left show, in an isolate that keeps the link
// and what is around it in their order.
TEST(LinkText, ALinkWithRightToLeftLettersIsIsolatedLeftToRight) {
    EXPECT_EQ(tolvenka::readableLink("http://h/files/4/%D7%A9%D7%9C%D7%95%D7%9D.zip"),
              QString(QChar(0x2066)) + QStringLiteral("http://h/files/4/שלום.zip") + QChar(0x2069));
}

TEST(LinkText, TypedOrFetchedLettersWithoutACp1251FormBecomeEscapesAndOtherSignsSpaces) {
    EXPECT_EQ(tolvenka::linkTextOf(QStringLiteral("http://h/files/1/Год_日é.zip😀✅—")),
              std::string("http://h/files/1/Год_%E6%97%A5%C3%A9.zip  —"_cp1251));
    EXPECT_EQ(tolvenka::linkTextOfPage("<a>http://h/files/1/Год_日.zip</a>"),
              std::string("<a>http://h/files/1/Год_%E6%97%A5.zip</a>"_cp1251));
    // Not UTF-8: CP1251 already.
    const std::string cp1251Page("<a>http://h/files/1/Год.zip</a>"_cp1251);
    EXPECT_EQ(tolvenka::linkTextOfPage(cp1251Page), cp1251Page);
}

TEST(SizeText, SaysASizeInTheLargestUnitItReaches) {
    const struct {
        std::int64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0 Б"},
        {1023, "1023 Б"},
        {1536, "1,5 кБ"},
        {10'239, "10 кБ"},
        {1'048'575, "1,0 МБ"},
        {91'226'112, "87 МБ"},
        {1'288'490'189, "1,2 ГБ"},
        {-1, "—"},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(tolvenka::sizeText(bytes), QString::fromUtf8(text)) << bytes;
    }
}

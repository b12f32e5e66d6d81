#include "ui/Application.h"

#include "tests/common/TestHelpers.h"
#include "ui/CaretRest.h"

#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QStyleHints>
#include <QTest>
#include <gtest/gtest.h>

// The icon must be in the binary itself: where no icon theme has it, the
// window would otherwise have none.
TEST(ProgramIcon, IsBuiltInAtBothSizes) {
    EXPECT_EQ(QImage(QStringLiteral(":/icons/tolvenka-48.png")).size(), QSize(48, 48));
    EXPECT_EQ(QImage(QStringLiteral(":/icons/tolvenka-256.png")).size(), QSize(256, 256));
    EXPECT_FALSE(tolvenka::Application::icon().isNull());
}

// A window left alone stops blinking its caret, and a key starts it again.
TEST(CaretRest, TheCaretRestsWithoutInputAndAKeyWakesIt) {
    const int desktops = QGuiApplication::styleHints()->cursorFlashTime();
    QLineEdit edit;
    {
        tolvenka::CaretRest caret(20);
        ASSERT_TRUE(testing_helpers::pumpUntil(
            [] { return QGuiApplication::styleHints()->cursorFlashTime() == 0; }));
        QTest::keyClick(&edit, Qt::Key_A);
        EXPECT_EQ(QGuiApplication::styleHints()->cursorFlashTime(), desktops);
    }
    EXPECT_EQ(QGuiApplication::styleHints()->cursorFlashTime(), desktops);
}

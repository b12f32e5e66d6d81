#include "widgets/ElidedLabel.h"
#include "widgets/PushButton.h"
#include "widgets/RussianTranslations.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

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

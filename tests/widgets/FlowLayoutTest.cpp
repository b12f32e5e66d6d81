#include "widgets/FlowLayout.h"

#include "widgets/PushButton.h"

#include <QCheckBox>
#include <QWidget>
#include <gtest/gtest.h>

using tolvenka::FlowLayout;
using tolvenka::PushButton;

namespace {

// Three buttons 100 wide and 25 high and a shorter check box, 5 apart,
// within margins of 8.
class Row : public ::testing::Test {
protected:
    Row() {
        layout->setContentsMargins(8, 8, 8, 8);
        for (int i = 0; i < 3; ++i) {
            layout->addWidget(new PushButton(QStringLiteral("B"), QSize(100, 25), &row));
        }
        option = new QCheckBox(QStringLiteral("Option"), &row);
        option->setFixedSize(80, 17);
        layout->addWidget(option);
    }

    QRect placeOf(int item) const { return layout->itemAt(item)->geometry(); }

    QWidget row;
    FlowLayout* layout = new FlowLayout(&row, 5);
    QCheckBox* option;
};

} // namespace

TEST_F(Row, AsksForOneRowAndTakesItWhereTheWidthAllows) {
    EXPECT_EQ(layout->sizeHint(), QSize(8 + 3 * 100 + 80 + 3 * 5 + 8, 8 + 25 + 8));
    EXPECT_EQ(layout->minimumSize(), QSize(8 + 100 + 8, 8 + 25 + 8)) << "its widest item";
    layout->setGeometry(QRect(0, 0, 500, 41));
    EXPECT_EQ(placeOf(0), QRect(8, 8, 100, 25));
    EXPECT_EQ(placeOf(2), QRect(218, 8, 100, 25));
    EXPECT_EQ(placeOf(3), QRect(323, 12, 80, 17)) << "centred on the row";
    EXPECT_EQ(layout->heightForWidth(500), 41);
}

TEST_F(Row, WrapsWhatTheWidthCannotHoldAndAsksForTheHeightOfItsRows) {
    // Two buttons fit in 230 (8 + 100 + 5 + 100 + 8 = 221), the third goes below.
    layout->setGeometry(QRect(0, 0, 230, 200));
    EXPECT_EQ(placeOf(1), QRect(113, 8, 100, 25));
    EXPECT_EQ(placeOf(2), QRect(8, 38, 100, 25));
    EXPECT_EQ(placeOf(3), QRect(113, 42, 80, 17));
    EXPECT_EQ(layout->heightForWidth(230), 8 + 25 + 5 + 25 + 8);
    // Narrower than any item: one a row, none left out.
    EXPECT_EQ(layout->heightForWidth(50), 8 + 3 * 25 + 17 + 3 * 5 + 8);
    // A hidden item takes no room.
    option->hide();
    EXPECT_EQ(layout->heightForWidth(230), 8 + 25 + 5 + 25 + 8);
    EXPECT_EQ(layout->sizeHint().width(), 8 + 3 * 100 + 2 * 5 + 8);
}

#include "widgets/Question.h"

#include "tests/common/GuiDriver.h"

#include <QWidget>
#include <gtest/gtest.h>

using testing_helpers::QuestionAnswerer;

TEST(Question, GoesAheadOnlyWithItsButtonAndCancelIsTheDefaultAndEscape) {
    QWidget parent;
    QuestionAnswerer answers;
    EXPECT_FALSE(tolvenka::askBeforeGoingAhead(QStringLiteral("Удалить?"),
                                               QStringLiteral("Удалить"), &parent));
    ASSERT_EQ(answers.asked.size(), 1u);
    EXPECT_EQ(answers.asked[0].text, QStringLiteral("Удалить?"));
    EXPECT_EQ(answers.asked[0].defaultButton, QStringLiteral("Отмена"));
    EXPECT_EQ(answers.asked[0].escapeButton, QStringLiteral("Отмена"));

    answers.answer = QStringLiteral("Удалить");
    EXPECT_TRUE(tolvenka::askBeforeGoingAhead(QStringLiteral("Удалить?"), QStringLiteral("Удалить"),
                                              &parent));
}

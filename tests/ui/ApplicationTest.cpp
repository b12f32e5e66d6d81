#include "ui/Application.h"

#include <QImage>
#include <gtest/gtest.h>

// The icon must be in the binary itself: where no icon theme has it, the
// window would otherwise have none.
TEST(ProgramIcon, IsBuiltInAtBothSizes) {
    EXPECT_EQ(QImage(QStringLiteral(":/icons/tolvenka-48.png")).size(), QSize(48, 48));
    EXPECT_EQ(QImage(QStringLiteral(":/icons/tolvenka-256.png")).size(), QSize(256, 256));
    EXPECT_FALSE(tolvenka::Application::icon().isNull());
}

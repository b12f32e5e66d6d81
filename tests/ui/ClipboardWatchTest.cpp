#include "ui/ClipboardWatch.h"

#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "support/Cp1251.h"
#include "tests/common/TestHelpers.h"
#include "ui/OwnClipboardText.h"

#include <QApplication>
#include <QClipboard>
#include <gtest/gtest.h>

using testing_helpers::pumpFor;
using Links = std::vector<std::string>;

namespace {

// A watch with the default service host, so that
// "http://rapidshare.com/files/<digits>/<name>" is a download link, and
// every batch of links it gives.
class ClipboardWatchTest : public ::testing::Test {
protected:
    ClipboardWatchTest() {
        tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
        watch.onLinks = [this](Links links, std::string cut) {
            given.push_back(std::move(links));
            cuts.push_back(std::move(cut));
        };
    }

    // Another program puts `text` on the clipboard.
    void copy(const QString& text) {
        QApplication::clipboard()->setText(text);
        pumpFor(20);
        ASSERT_TRUE(testing_helpers::pumpUntil([&] { return !watch.isBusy(); }));
    }

    tolvenka::DownloadMaker maker;
    tolvenka::ClipboardWatch watch;
    std::vector<Links> given;
    std::vector<std::string> cuts;
};

const QString fileA = QStringLiteral("http://rapidshare.com/files/1/a.zip");
const QString fileB = QStringLiteral("http://rapidshare.com/files/2/b.zip");

} // namespace

TEST_F(ClipboardWatchTest, TakesTheDownloadLinksOfACopyOnlyWhileOn) {
    copy(fileA);
    watch.setOn(true);
    EXPECT_TRUE(given.empty()) << "what was there before is not taken";

    // A page address is no download link, and nothing loads it.
    copy(QStringLiteral("see ") + fileA + QStringLiteral(" and http://forum.example/topic ") +
         fileB);
    EXPECT_EQ(given, (std::vector<Links>{{fileA.toStdString(), fileB.toStdString()}}));
    copy(QStringLiteral("http://forum.example/topic"));
    copy(QStringLiteral("no links"));
    EXPECT_EQ(given.size(), 1u);

    watch.setOn(false);
    copy(QStringLiteral("http://rapidshare.com/files/3/c.zip"));
    EXPECT_EQ(given.size(), 1u);
}

TEST_F(ClipboardWatchTest, ALinkIsGivenOnceInARunHoweverItIsWritten) {
    watch.setOn(true);
    copy(fileA + QLatin1Char(' ') + fileA);
    copy(fileA);
    copy(QStringLiteral("HTTP://RapidShare.com:80/files/1/a.zip ") + fileB);
    EXPECT_EQ(given, (std::vector<Links>{{fileA.toStdString()}, {fileB.toStdString()}}));
}

TEST_F(ClipboardWatchTest, WhatTheProgramCopiedItselfIsNotTaken) {
    // Links of their own: the program's last copy is remembered for the run.
    const QString ours = QStringLiteral("http://rapidshare.com/files/7/ours.zip");
    const QString theirs = QStringLiteral("http://rapidshare.com/files/8/theirs.zip");
    watch.setOn(true);
    tolvenka::OwnClipboardText::put(ours);
    pumpFor(20);
    // A clipboard manager that takes the copy over hands back the same text.
    copy(ours);
    EXPECT_TRUE(given.empty());
    copy(theirs);
    EXPECT_EQ(given, (std::vector<Links>{{theirs.toStdString()}}));
}

TEST_F(ClipboardWatchTest, OfALargeCopyOnlyTheStartIsSearchedAndThatIsSaid) {
    watch.setOn(true);
    QString text = fileA + QLatin1Char(' ');
    text += QString(5 * 1024 * 1024, QLatin1Char('x'));
    copy(text + QLatin1Char(' ') + fileB);
    EXPECT_EQ(given, (std::vector<Links>{{fileA.toStdString()}}));
    EXPECT_EQ(kestrune::text::toUtf8(cuts.at(0)), "Текст слишком большой: взяты первые 4 МБ");
}

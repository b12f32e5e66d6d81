#include "intake/LinkExtraction.h"
#include "intake/LinksLoadingThread.h"
#include "intake/TwaitDialog.h"
#include "support/Cp1251.h"
#include "tests/common/GuiDriver.h"
#include "tests/common/LoopbackServer.h"
#include "tests/common/TestHelpers.h"
#include "tests/http/NginxServer.h"
#include "tests/http/TestCertificates.h"
#include "tests/intake/IntakeFixture.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

using testing_helpers::WhenReady;
using Links = std::vector<std::string>;

class LinksLoadingTest : public testing_helpers::IntakeFixture {
protected:
    // Appends the addresses found, as copies, to `all` and `downloads`.
    void load(const std::string& url) {
        dialog.execute(std::make_unique<tolvenka::LinksLoadingThread>(dialog, url, outcome));
        for (std::size_t index = 0; index < outcome.links.count(); ++index) {
            all.emplace_back(outcome.links.address(index));
        }
        const Links links = outcome.links.downloadLinks();
        downloads.insert(downloads.end(), links.begin(), links.end());
    }

    QString infoText() const { return dialog.findChild<QLabel*>(QStringLiteral("info"))->text(); }
    QPushButton* cancelButton() const {
        return dialog.findChild<QPushButton*>(QStringLiteral("cancel"));
    }

    tolvenka::TwaitDialog dialog;
    Links all{"kept"};
    Links downloads{"kept"};
    tolvenka::PageLoadOutcome outcome;
};

TEST_F(LinksLoadingTest, PageLinksAreAppendedInPageOrder) {
    const std::string first = fileLink("11");
    const std::string second = fileLink("22");
    sim.addPage("/list.html", "<a href=\"" + first + "\">one</a> <a href=\"http://forum.example/t" +
                                  "\">talk</a>\r\n<a href=\"" + second + "\">two</a>");

    load(pageUrl("/list.html"));

    EXPECT_EQ(all, (Links{"kept", first, "http://forum.example/t", second}));
    EXPECT_EQ(downloads, (Links{"kept", first, second}));
    EXPECT_EQ(infoText(), QStringLiteral("Загрузка списка..."));
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(LinksLoadingTest, APageBeyondTheLimitIsSearchedInItsFirstPartOnly) {
    std::string huge = fileLink("33") + " ";
    huge.resize(tolvenka::maxPageBytes + 1024 * 1024, 'x');
    huge += " " + fileLink("34");
    sim.addPage("/huge.html", std::move(huge));

    load(pageUrl("/huge.html"));

    EXPECT_EQ(outcome.failureReason, "");
    EXPECT_EQ(downloads, (Links{"kept", fileLink("33")}));
    EXPECT_TRUE(outcome.links.isCut());
    EXPECT_EQ(outcome.links.takenBytes(), tolvenka::maxPageBytes);
}

TEST_F(LinksLoadingTest, FailedLoadsFindNothingAndSayWhy) {
    const std::vector<std::pair<std::string, std::string>> failures = {
        {pageUrl("/no-such-page.html"), "сервер вернул ошибку 404"},
        {"http://127.0.0.1:1/", "сервер отклонил соединение"},
    };
    for (const auto& [url, reason] : failures) {
        outcome = {};
        load(url);
        EXPECT_TRUE(outcome.finished);
        EXPECT_EQ(kestrune::text::toUtf8(outcome.failureReason), reason) << url;
    }

    EXPECT_EQ(all, (Links{"kept"}));
    EXPECT_EQ(downloads, (Links{"kept"}));
}

// A forum moved to https: its old address answers with a redirect.
TEST_F(LinksLoadingTest, APageThatRedirectsFromHttpToHttpsGivesItsLinks) {
    const http_testing::TestCertificates& certificates = http_testing::TestCertificates::trusted();
    testing_helpers::TempDir work;
    http_testing::NginxServer nginx(
        work.path(),
        {{http_testing::passingTo(sim.port()) +
              http_testing::withCertificate(certificates.serverCertificate, certificates.serverKey),
          true},
         {"        return 301 https://127.0.0.1:{port0}$request_uri;\n", false}});
    const std::string link = fileLink("44");
    sim.addPage("/moved.html", "<a href=\"" + link + "\">one</a> https://forum.example/t");

    load(nginx.url("/moved.html", 1));

    EXPECT_EQ(outcome.failureReason, "");
    EXPECT_EQ(all, (Links{"kept", link, "https://forum.example/t"}));
    EXPECT_EQ(downloads, (Links{"kept", link}));
}

TEST_F(LinksLoadingTest, CancelCutsASlowLoadAtOnce) {
    testing_helpers::LoopbackServer server(testing_helpers::LoopbackServer::Mode::Silent);
    QElapsedTimer sinceClick;
    WhenReady clickCancel([&] { return dialog.isVisible() && server.acceptedConnections() == 1; },
                          [&] {
                              sinceClick.start();
                              QTest::mouseClick(cancelButton(), Qt::LeftButton);
                          });

    load(server.url("/slow.html"));

    ASSERT_TRUE(clickCancel.fired());
    EXPECT_LT(sinceClick.elapsed(), 2000);
    EXPECT_FALSE(outcome.finished) << "a cancel has nothing to tell";
    EXPECT_EQ(all, (Links{"kept"}));
    EXPECT_EQ(downloads, (Links{"kept"}));
}

TEST_F(LinksLoadingTest, CloseBoxOnlyCancelsAndTheDialogClosesWhenTheJobEnds) {
    testing_helpers::LoopbackServer server(testing_helpers::LoopbackServer::Mode::Silent);
    bool visibleAfterEscape = false;
    bool visibleAfterClose = false;
    WhenReady closeWindow([&] { return dialog.isVisible() && server.acceptedConnections() == 1; },
                          [&] {
                              QTest::keyClick(&dialog, Qt::Key_Escape);
                              visibleAfterEscape = dialog.isVisible();
                              dialog.close();
                              visibleAfterClose = dialog.isVisible();
                          });

    load(server.url("/slow.html"));

    ASSERT_TRUE(closeWindow.fired());
    EXPECT_TRUE(visibleAfterEscape);
    EXPECT_TRUE(visibleAfterClose);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(all, (Links{"kept"}));
}

TEST_F(LinksLoadingTest, AJobThatEndsBeforeTheDialogShowsStillClosesIt) {
    auto job =
        std::make_unique<tolvenka::LinksLoadingThread>(dialog, "http://127.0.0.1:1/", outcome);
    // Its close request arrives while the dialog is hidden and is dropped.
    ASSERT_TRUE(testing_helpers::pumpUntil([&] { return job->isFinished(); }));
    testing_helpers::pumpFor(20);

    dialog.execute(std::move(job));

    EXPECT_FALSE(dialog.isVisible());
}

} // namespace

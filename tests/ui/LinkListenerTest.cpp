#include "ui/LinkListener.h"

#include "tests/common/TestHelpers.h"
#include "ui/HandOverLinks.h"

#include <QLocalSocket>
#include <atomic>
#include <gtest/gtest.h>
#include <optional>
#include <thread>

using testing_helpers::pumpFor;
using testing_helpers::pumpUntil;
using tolvenka::HandOver;
using tolvenka::LinkListener;

namespace {

// A later start handing `text` over on a thread of its own.
class LaterStart {
public:
    LaterStart(const QString& socket, const QString& text)
        : thread([this, socket, text] {
            answer = static_cast<int>(tolvenka::handOverLinks(socket, text));
        }) {}
    ~LaterStart() { thread.join(); }

    // Waits for the answer, keeping the listener's event loop going.
    std::optional<HandOver> answered(int timeoutMs = 15'000) {
        if (!pumpUntil([&] { return answer.load() >= 0; }, timeoutMs)) {
            return std::nullopt;
        }
        return static_cast<HandOver>(answer.load());
    }

private:
    std::atomic<int> answer = -1;
    std::thread thread;
};

class LinkListenerTest : public ::testing::Test {
protected:
    LinkListenerTest() {
        EXPECT_TRUE(listener.listen(socket));
        listener.setReceiver([this](const QString& text) { taken << text; });
    }

    // A later start, answered while the listener's event loop runs.
    std::optional<HandOver> handOver(const QString& text) {
        return LaterStart(socket, text).answered();
    }

    testing_helpers::TempDir dir;
    const QString socket = QString::fromStdString(dir.file("links.socket"));
    LinkListener listener;
    QStringList taken;
};

} // namespace

// What another local program may send: each connection gets an answer or is
// cut off, nothing breaks, and the listener takes the next good text.
TEST_F(LinkListenerTest, GarbageAndFloodsAreRefusedAndTheListenerGoesOn) {
    // The answer, once the listener has let go of the connection.
    const auto send = [&](const QByteArray& bytes) {
        QLocalSocket client;
        client.connectToServer(socket);
        client.write(bytes);
        EXPECT_TRUE(
            pumpUntil([&] { return client.state() == QLocalSocket::UnconnectedState; }, 10'000));
        return client.readAll();
    };
    EXPECT_EQ(send(QByteArray("\x7f"
                              "ELF\x02\x01\xff\xfe",
                              8) +
                   '\0'),
              "-");
    EXPECT_EQ(send(QByteArray("http://a/1\x01", 11) + '\0'), "-");
    EXPECT_EQ(send(QByteArray(LinkListener::maxTextBytes + 1, 'a')), "");
    EXPECT_EQ(handOver(QStringLiteral("http://a/1\nhttp://b/2")), HandOver::Taken);
    EXPECT_TRUE(pumpUntil([&] { return !taken.isEmpty(); }));
    EXPECT_EQ(taken, QStringList{QStringLiteral("http://a/1\nhttp://b/2")});

    // A program that closes sends later starts to wait for its end.
    listener.stopTaking();
    EXPECT_EQ(handOver(QStringLiteral("http://c/3")), HandOver::HolderEnding);
    EXPECT_EQ(taken.size(), 1);
}

// A later start that gave up waiting has told its user that the program did
// not take its links: the program, answering late, must not take them either.
TEST_F(LinkListenerTest, TheLinksOfALaterStartThatGaveUpAreNeverTaken) {
    HandOver outcome = HandOver::Taken;
    // The program is busy: its event loop runs only after the later start
    // has given up.
    std::thread([&] {
        outcome = tolvenka::handOverLinks(socket, QStringLiteral("http://a/1"), 300);
    }).join();
    EXPECT_EQ(outcome, HandOver::Refused);
    pumpFor(500);
    EXPECT_TRUE(taken.isEmpty());
    EXPECT_EQ(handOver(QStringLiteral("http://b/2")), HandOver::Taken);
    EXPECT_TRUE(pumpUntil([&] { return !taken.isEmpty(); }));
    EXPECT_EQ(taken, QStringList{QStringLiteral("http://b/2")});
}

// Before the queue is there to take them, texts wait for their answer; a
// close meanwhile answers "closing", so the later start runs with them.
TEST(LinkListenerWithoutReceiver, TextsWaitForTheReceiverAndAreAnsweredClosingAtAClose) {
    testing_helpers::TempDir dir;
    const QString socket = QString::fromStdString(dir.file("links.socket"));
    LinkListener listener;
    ASSERT_TRUE(listener.listen(socket));
    QStringList taken;
    LaterStart first(socket, QStringLiteral("http://a/1"));
    EXPECT_EQ(first.answered(300), std::nullopt) << "no answer before a receiver";
    listener.setReceiver([&](const QString& text) { taken << text; });
    EXPECT_EQ(first.answered(), HandOver::Taken);

    const QString otherSocket = QString::fromStdString(dir.file("other.socket"));
    LinkListener closing;
    ASSERT_TRUE(closing.listen(otherSocket));
    LaterStart second(otherSocket, QStringLiteral("b"));
    EXPECT_EQ(second.answered(300), std::nullopt);
    closing.stopTaking();
    EXPECT_EQ(second.answered(), HandOver::HolderEnding);
    EXPECT_TRUE(pumpUntil([&] { return !taken.isEmpty(); }));
    EXPECT_EQ(taken, QStringList{QStringLiteral("http://a/1")});
}

#include "ui/LinkListener.h"

#include "tests/common/TestHelpers.h"

#include <QLocalSocket>
#include <gtest/gtest.h>

using testing_helpers::pumpUntil;
using tolvenka::LinkListener;

// What another local program may send: each connection gets an answer or is
// cut off, nothing breaks, and the listener takes the next good text.
TEST(LinkListener, GarbageAndFloodsAreRefusedAndTheListenerGoesOn) {
    testing_helpers::TempDir dir;
    LinkListener listener;
    const QString socket = QString::fromStdString(dir.file("links.socket"));
    ASSERT_TRUE(listener.listen(socket));
    QStringList taken;
    listener.setReceiver([&](const QString& text) {
        taken << text;
        return true;
    });
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
    EXPECT_EQ(send(QByteArray("http://a/1\nhttp://b/2", 21) + '\0'), "+");
    EXPECT_EQ(taken, QStringList{QStringLiteral("http://a/1\nhttp://b/2")});
}

#include "ui/HandOverLinks.h"

#include "ui/LinkListener.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <chrono>
#include <thread>

namespace tolvenka {

namespace {

// The lock holder listens a moment after it takes the lock.
constexpr int connectWithinMs = 2000;

bool connectTo(QLocalSocket& socket, const QString& socketName) {
    const QDeadlineTimer deadline(connectWithinMs);
    for (;;) {
        socket.connectToServer(socketName);
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            return true;
        }
        if (deadline.hasExpired()) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// True once the system has taken every byte; a holder that shut its end
// makes this fail.
bool sendAll(QLocalSocket& socket, const QByteArray& bytes, const QDeadlineTimer& deadline) {
    if (socket.write(bytes) != bytes.size()) {
        return false;
    }
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
            return false;
        }
    }
    return true;
}

// A holder that did not answer in time may be stopped or busy, and stays;
// one that ended the connection unanswered is going.
HandOver unanswered(const QDeadlineTimer& deadline) {
    return deadline.hasExpired() ? HandOver::Refused : HandOver::HolderEnding;
}

} // namespace

HandOver handOverLinks(const QString& socketName, const QString& text, int answerWithinMs) {
    QLocalSocket socket;
    if (!connectTo(socket, socketName)) {
        return HandOver::NobodyListens;
    }
    const QDeadlineTimer deadline(answerWithinMs);
    if (!sendAll(socket, text.toUtf8() + LinkListener::endOfText, deadline)) {
        return unanswered(deadline);
    }
    // The answer may have come in while the text went out.
    char answer = 0;
    if ((socket.bytesAvailable() == 0 &&
         !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) ||
        socket.read(&answer, 1) != 1) {
        return unanswered(deadline);
    }
    switch (answer) {
    case LinkListener::ready:
        // The decision: once the commit has left, the holder takes the
        // links; if it cannot leave, the holder has stopped taking them.
        return sendAll(socket, QByteArray(1, LinkListener::commit), QDeadlineTimer(answerWithinMs))
                   ? HandOver::Taken
                   : HandOver::HolderEnding;
    case LinkListener::closing:
        return HandOver::HolderEnding;
    default:
        return HandOver::Refused;
    }
}

} // namespace tolvenka

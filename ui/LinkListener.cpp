#include "ui/LinkListener.h"

#include "platform/QueueLock.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStringDecoder>
#include <QTimer>
#include <algorithm>
#include <sys/socket.h>

namespace tolvenka {

namespace {

// Text only: valid UTF-8 without control characters but line breaks and tabs.
bool decodeText(QByteArrayView bytes, QString& text) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return false;
    }
    return std::none_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.category() == QChar::Other_Control && c != u'\n' && c != u'\r' && c != u'\t';
    });
}

} // namespace

LinkListener::LinkListener()
    : server(new QLocalServer(this)) {
    server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server, &QLocalServer::newConnection, this, [this] { acceptConnections(); });
}

// The server goes first, with its connections, while what they report to
// is still here.
LinkListener::~LinkListener() {
    delete server;
}

QString LinkListener::socketName(const std::string& queueFile,
                                 const std::filesystem::path& runtimeFolder) {
    const std::string name = platform::queueName(queueFile) + ".socket";
    return QFile::decodeName((runtimeFolder / name).c_str());
}

bool LinkListener::listen(const QString& name) {
    QLocalServer::removeServer(name);
    return server->listen(name);
}

void LinkListener::setReceiver(std::function<void(const QString&)> newReceiver) {
    receiver = std::move(newReceiver);
    for (auto& [socket, exchange] : exchanges) {
        if (exchange.phase == Exchange::Phase::AwaitingReceiver) {
            answerReceived(*socket, exchange);
        }
    }
}

void LinkListener::stopTaking() {
    taking = false;
    for (auto& [socket, exchange] : exchanges) {
        if (exchange.phase == Exchange::Phase::AwaitingCommit) {
            settle(*socket, exchange);
        } else if (exchange.phase == Exchange::Phase::AwaitingReceiver) {
            answerReceived(*socket, exchange);
        }
    }
}

void LinkListener::acceptConnections() {
    while (QLocalSocket* socket = server->nextPendingConnection()) {
        if (exchanges.size() >= static_cast<std::size_t>(maxConnections)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        exchanges.emplace(socket, Exchange{});
        connect(socket, &QObject::destroyed, this, [this, socket] { exchanges.erase(socket); });
        // What came just before the end is read too: it may be the commit.
        connect(socket, &QLocalSocket::disconnected, socket, [this, socket] {
            readFrom(*socket);
            socket->deleteLater();
        });
        QTimer::singleShot(connectionTimeoutMs, socket, [this, socket] {
            Exchange& exchange = exchanges.at(socket);
            if (exchange.phase == Exchange::Phase::AwaitingCommit) {
                settle(*socket, exchange);
            }
            socket->abort();
        });
        // The toolkit buffers no more than this ahead of what is read here.
        socket->setReadBufferSize(64 * 1024);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(*socket); });
    }
}

void LinkListener::readFrom(QLocalSocket& socket) {
    const auto found = exchanges.find(&socket);
    if (found == exchanges.end()) {
        return;
    }
    Exchange& exchange = found->second;
    switch (exchange.phase) {
    case Exchange::Phase::ReadingText:
        answerText(socket, exchange);
        break;
    case Exchange::Phase::AwaitingCommit:
        readCommit(socket, exchange);
        break;
    case Exchange::Phase::AwaitingReceiver:
    case Exchange::Phase::Ended:
        break; // whatever follows the end is not read
    }
}

void LinkListener::answerText(QLocalSocket& socket, Exchange& exchange) {
    const qsizetype searchFrom = exchange.received.size();
    exchange.received += socket.readAll();
    const qsizetype end = exchange.received.indexOf(endOfText, searchFrom);
    if (end < 0) {
        if (exchange.received.size() > maxTextBytes) {
            exchange.phase = Exchange::Phase::Ended;
            socket.abort();
        }
        return;
    }
    QString text;
    const bool isText = end <= maxTextBytes && decodeText(exchange.received.first(end), text);
    exchange.received.clear();
    if (!isText) {
        socket.write(&refused, 1);
        exchange.phase = Exchange::Phase::Ended;
        socket.disconnectFromServer();
        return;
    }
    exchange.text = std::move(text);
    exchange.phase = Exchange::Phase::AwaitingReceiver;
    // Without a receiver yet (the queue is still being read) the answer
    // waits: "ready" now would promise the links a place they may not get.
    if (receiver || !taking) {
        answerReceived(socket, exchange);
    }
}

void LinkListener::answerReceived(QLocalSocket& socket, Exchange& exchange) {
    if (taking) {
        exchange.phase = Exchange::Phase::AwaitingCommit;
        socket.write(&ready, 1);
        return;
    }
    exchange.text.clear();
    exchange.phase = Exchange::Phase::Ended;
    socket.write(&closing, 1);
    socket.disconnectFromServer();
}

void LinkListener::readCommit(QLocalSocket& socket, Exchange& exchange) {
    char byte = 0;
    if (socket.read(&byte, 1) == 1) {
        end(socket, exchange, byte == commit);
    } else if (socket.state() != QLocalSocket::ConnectedState) {
        end(socket, exchange, false); // it gave up
    }
}

// Decides now a hand-over whose commit may be on its way. Reading is shut
// first: a commit then is either here already, or fails to be sent, and the
// later start knows it failed.
void LinkListener::settle(QLocalSocket& socket, Exchange& exchange) {
    const auto fd = static_cast<int>(socket.socketDescriptor());
    if (fd >= 0) {
        ::shutdown(fd, SHUT_RD);
    }
    char byte = 0;
    const bool committed =
        socket.read(&byte, 1) == 1
            ? byte == commit
            : fd >= 0 && ::recv(fd, &byte, 1, MSG_DONTWAIT) == 1 && byte == commit;
    end(socket, exchange, committed);
}

void LinkListener::end(QLocalSocket& socket, Exchange& exchange, bool committed) {
    exchange.phase = Exchange::Phase::Ended;
    if (committed && receiver) {
        receiver(exchange.text);
    }
    exchange.text.clear();
    socket.disconnectFromServer();
}

} // namespace tolvenka

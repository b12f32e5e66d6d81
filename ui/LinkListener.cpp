#include "ui/LinkListener.h"

#include "platform/QueueLock.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStringDecoder>
#include <QTimer>
#include <algorithm>
#include <memory>

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

LinkListener::~LinkListener() = default;

QString LinkListener::socketName(const std::string& queueFile,
                                 const std::filesystem::path& runtimeFolder) {
    const std::string name = platform::queueName(queueFile) + ".socket";
    return QFile::decodeName((runtimeFolder / name).c_str());
}

bool LinkListener::listen(const QString& name) {
    QLocalServer::removeServer(name);
    return server->listen(name);
}

void LinkListener::setReceiver(std::function<bool(const QString&)> newReceiver) {
    receiver = std::move(newReceiver);
}

void LinkListener::acceptConnections() {
    while (QLocalSocket* socket = server->nextPendingConnection()) {
        if (connections >= maxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++connections;
        connect(socket, &QObject::destroyed, this, [this] { --connections; });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(connectionTimeoutMs, socket, [socket] { socket->abort(); });
        // The toolkit buffers no more than this ahead of what is read here.
        socket->setReadBufferSize(64 * 1024);
        connect(socket, &QLocalSocket::readyRead, this,
                [this, socket, received = std::make_shared<QByteArray>()] {
                    readFrom(*socket, *received);
                });
    }
}

void LinkListener::readFrom(QLocalSocket& socket, QByteArray& received) {
    if (socket.state() != QLocalSocket::ConnectedState) {
        return; // answered already; whatever follows is not read
    }
    const qsizetype searchFrom = received.size();
    received += socket.readAll();
    const qsizetype end = received.indexOf(endOfText, searchFrom);
    if (end < 0) {
        if (received.size() > maxTextBytes) {
            socket.abort();
        }
        return;
    }
    QString text;
    const bool isText = end <= maxTextBytes && decodeText(received.first(end), text);
    received.clear();
    const bool isTaken = isText && receiver && receiver(text);
    socket.write(isTaken ? &taken : &refused, 1);
    socket.disconnectFromServer();
}

} // namespace tolvenka

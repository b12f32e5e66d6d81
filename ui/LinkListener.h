#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>
#include <string>

class QLocalServer;
class QLocalSocket;

namespace tolvenka {

// Listens, for the program that holds a queue's lock, to later starts in the
// same folder: each hands over the text of its command line and learns
// whether it was taken. A connection is a local user's and may send
// anything: it is read up to a cap, must be text, and is dropped if it does
// not finish in time.
class LinkListener : public QObject {
public:
    // A message is UTF-8 text, then one zero byte; the answer is one byte.
    static constexpr char endOfText = '\0';
    static constexpr char taken = '+';
    static constexpr char refused = '-';
    // Far above any command line, far below trouble.
    static constexpr qsizetype maxTextBytes = 4 * 1024 * 1024;
    static constexpr int maxConnections = 8;
    static constexpr int connectionTimeoutMs = 10'000;

    LinkListener();
    ~LinkListener() override;

    // The socket of the queue `queueFile` (CP1251) in `runtimeFolder`, the
    // user's own.
    static QString socketName(const std::string& queueFile,
                              const std::filesystem::path& runtimeFolder);

    // Only while holding the queue's lock: a socket left by a holder that
    // was killed is removed first.
    bool listen(const QString& name);

    // Takes each text handed over and says whether it took it. Until one is
    // set, every text is refused.
    void setReceiver(std::function<bool(const QString&)> receiver);

private:
    void acceptConnections();
    void readFrom(QLocalSocket& socket, QByteArray& received);

    QLocalServer* server;
    std::function<bool(const QString&)> receiver;
    int connections = 0;
};

} // namespace tolvenka

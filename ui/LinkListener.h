#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>
#include <string>
#include <unordered_map>

class QLocalServer;
class QLocalSocket;

namespace tolvenka {

// Listens, for the program that holds a queue's lock, to later starts in the
// same folder: each hands over the text of its command line and learns
// whether it was taken. A connection is a local user's and may send
// anything: it is read up to a cap, must be text, and is dropped if it does
// not finish in time.
//
// A hand-over is all or nothing. The later start sends its text; the answer
// is `ready`, `refused` or `closing`. After `ready` the later start sends
// `commit` and only then tells its user that the program took the links, and
// only then are they taken: a later start that gave up waiting (and said so)
// never sends it, and its text is dropped.
class LinkListener : public QObject {
public:
    // A message is UTF-8 text, then one zero byte; each answer is one byte.
    static constexpr char endOfText = '\0';
    static constexpr char ready = '+';
    static constexpr char refused = '-';
    // The program is closing: the later start may take the queue once it
    // has ended.
    static constexpr char closing = '.';
    static constexpr char commit = '!';
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

    // Takes each text handed over. Until one is set, texts wait for their
    // answer (the later start waits a while for it).
    void setReceiver(std::function<void(const QString&)> receiver);

    // The program begins to close. Texts whose commit has come are taken
    // now; those still without it are dropped, and their commit fails to
    // reach the listener. Texts waiting for a receiver, and every text after
    // them, are answered `closing`.
    void stopTaking();

private:
    struct Exchange {
        enum class Phase { ReadingText, AwaitingReceiver, AwaitingCommit, Ended };
        Phase phase = Phase::ReadingText;
        QByteArray received;
        QString text;
    };

    void acceptConnections();
    void readFrom(QLocalSocket& socket);
    void answerText(QLocalSocket& socket, Exchange& exchange);
    void answerReceived(QLocalSocket& socket, Exchange& exchange);
    void readCommit(QLocalSocket& socket, Exchange& exchange);
    void settle(QLocalSocket& socket, Exchange& exchange);
    void end(QLocalSocket& socket, Exchange& exchange, bool committed);

    QLocalServer* server;
    std::function<void(const QString&)> receiver;
    bool taking = true;
    std::unordered_map<QLocalSocket*, Exchange> exchanges;
};

} // namespace tolvenka

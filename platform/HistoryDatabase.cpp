#include "platform/HistoryDatabase.h"

#include "support/Cp1251.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace platform {

namespace {

constexpr int busyTimeoutMs = 5000;
// Placeholders of one look-up: far below SQLite's limit, and enough that a
// hundred thousand links take a couple of hundred queries.
constexpr std::size_t identitiesPerQuery = 500;

// SQLite's result codes: a statement that does not fit the database, and a
// file that is there but is no database it can read.
constexpr int sqliteError = 1;
constexpr int sqliteCorrupt = 11;
constexpr int sqliteCannotOpen = 14;
constexpr int sqliteNotADatabase = 26;

const QString columns =
    QStringLiteral("id, identity, link, file_name, path, size, arrived_at, seconds");
// What a listing reads: the texts as the bytes of their UTF-8, which SQLite
// keeps (read as text, each would be made UTF-16 by SQLite and then UTF-8
// again here), and neither the identity nor the file name, which ends the
// path: a long history is read whole when its window opens, and Qt hands
// every value over on its own.
const QString listedColumns =
    QStringLiteral("id, CAST(link AS BLOB), CAST(path AS BLOB), size, arrived_at, seconds");

QString toDatabase(const std::string& cp1251) {
    return QString::fromStdString(kestrune::text::toUtf8(cp1251));
}

std::string fromDatabase(const QVariant& value) {
    return kestrune::text::fromUtf8(value.toString().toStdString());
}

// A text read as the bytes of its UTF-8 (see `listedColumns`).
std::string fromDatabaseBytes(const QVariant& value) {
    const QByteArray utf8 = value.toByteArray();
    return kestrune::text::fromUtf8(std::string_view(utf8.constData(), utf8.size()));
}

QString placeholders(std::size_t count) {
    QStringList marks;
    marks.reserve(static_cast<qsizetype>(count));
    for (std::size_t i = 0; i < count; ++i) {
        marks << QStringLiteral("?");
    }
    return marks.join(u',');
}

// The first free name of "<file>.unreadable", "<file>.unreadable-2", ...
std::filesystem::path asideName(const std::filesystem::path& file) {
    std::error_code error;
    for (int number = 1;; ++number) {
        std::filesystem::path aside = file;
        aside += number == 1 ? ".unreadable" : ".unreadable-" + std::to_string(number);
        if (!std::filesystem::exists(std::filesystem::symlink_status(aside, error))) {
            return aside;
        }
    }
}

std::atomic<int> connectionsMade{0};

} // namespace

// The database as the thread of the history uses it; made, used and
// destroyed there only, as Qt SQL asks of a connection.
class HistoryDatabase::Store {
public:
    explicit Store(const std::filesystem::path& file);
    ~Store();

    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    Opening opening = Opening::Opened;
    std::filesystem::path setAside;

    bool add(const HistoryRecord& record, bool keepSame);
    bool isEmpty();
    std::vector<std::optional<std::int64_t>>
    lastArrivals(const std::vector<std::string>& identities);
    std::vector<HistoryRecord> records(std::int64_t afterId);
    bool remove(const std::vector<std::int64_t>& ids);
    bool clear();

private:
    // Opens `name` ready for use: its schema made or checked. On failure
    // the connection is closed and `failure` holds SQLite's result code.
    bool open(const QString& name);
    bool prepareSchema();
    void close();
    QSqlDatabase database() const { return QSqlDatabase::database(connection, false); }
    // Runs `sql`; on failure keeps SQLite's result code in `failure`.
    bool run(QSqlQuery& query, const QString& sql);
    bool run(const QString& sql);
    bool keepFailure(const QSqlError& error);

    const QString connection;
    int failure = 0;
};

HistoryDatabase::Store::Store(const std::filesystem::path& file)
    : connection(QStringLiteral("tolvenka-history-%1").arg(++connectionsMade)) {
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    if (open(QString::fromStdString(file.string()))) {
        return;
    }
    // Busy, locked, read-only or full: the file may well be sound, and is
    // never set aside for that.
    const bool unreadable = failure == sqliteNotADatabase || failure == sqliteCorrupt ||
                            (failure == sqliteCannotOpen &&
                             std::filesystem::exists(std::filesystem::symlink_status(file, error)));
    if (unreadable) {
        const std::filesystem::path aside = asideName(file);
        std::filesystem::rename(file, aside, error);
        if (!error) {
            // What the log of the old file holds belongs to it, never to the
            // new one.
            for (const char* companion : {"-wal", "-shm"}) {
                std::filesystem::path from = file;
                from += companion;
                std::filesystem::path to = aside;
                to += companion;
                std::error_code ignored;
                std::filesystem::rename(from, to, ignored);
            }
            if (open(QString::fromStdString(file.string()))) {
                opening = Opening::SetAside;
                setAside = aside;
                return;
            }
        }
    }
    opening = Opening::InMemory;
    open(QStringLiteral(":memory:"));
}

HistoryDatabase::Store::~Store() {
    close();
}

bool HistoryDatabase::Store::open(const QString& name) {
    bool opened = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(name);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs));
        opened = db.open() || keepFailure(db.lastError());
    }
    if (!opened) {
        close();
        return false;
    }
    // A commit is safe from the program's death once written to the log;
    // only a crash of the whole system may lose the last ones.
    if (!run(QStringLiteral("PRAGMA journal_mode=WAL")) ||
        !run(QStringLiteral("PRAGMA synchronous=NORMAL")) || !prepareSchema()) {
        close();
        return false;
    }
    return true;
}

// Version 1 is the table of arrivals. Two programs may start at once on a
// new file: each makes what is not there yet, inside its own writing
// transaction, and the second finds it made.
bool HistoryDatabase::Store::prepareSchema() {
    QSqlQuery version(database());
    if (!run(version, QStringLiteral("PRAGMA user_version")) || !version.next()) {
        return false;
    }
    if (version.value(0).toInt() < 1) {
        version.finish();
        if (!run(QStringLiteral("BEGIN IMMEDIATE"))) {
            return false;
        }
        const bool made = run(QStringLiteral("CREATE TABLE IF NOT EXISTS arrivals ("
                                             "id INTEGER PRIMARY KEY, identity TEXT NOT NULL, "
                                             "link TEXT NOT NULL, file_name TEXT NOT NULL, "
                                             "path TEXT NOT NULL UNIQUE, size INTEGER NOT NULL, "
                                             "arrived_at INTEGER NOT NULL, seconds INTEGER)")) &&
                          run(QStringLiteral("CREATE INDEX IF NOT EXISTS arrivals_by_identity "
                                             "ON arrivals (identity, arrived_at)")) &&
                          run(QStringLiteral("PRAGMA user_version = %1").arg(schemaVersion));
        if (!made || !run(QStringLiteral("COMMIT"))) {
            run(QStringLiteral("ROLLBACK"));
            return false;
        }
    }
    // A table of the name with other columns is not ours to write into: as
    // good as unreadable.
    if (!run(QStringLiteral("SELECT %1 FROM arrivals LIMIT 0").arg(columns))) {
        if (failure == sqliteError) {
            failure = sqliteNotADatabase;
        }
        return false;
    }
    return true;
}

void HistoryDatabase::Store::close() {
    {
        QSqlDatabase db = database();
        if (db.isValid()) {
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(connection);
}

bool HistoryDatabase::Store::keepFailure(const QSqlError& error) {
    bool isNumber = false;
    const int code = error.nativeErrorCode().toInt(&isNumber);
    failure = isNumber ? code : -1;
    return false;
}

bool HistoryDatabase::Store::run(QSqlQuery& query, const QString& sql) {
    return query.exec(sql) || keepFailure(query.lastError());
}

bool HistoryDatabase::Store::run(const QString& sql) {
    QSqlQuery query(database());
    return run(query, sql);
}

bool HistoryDatabase::Store::add(const HistoryRecord& record, bool keepSame) {
    QSqlQuery insert(database());
    // One statement: another program may record the same file meanwhile.
    insert.prepare(QStringLiteral("INSERT OR REPLACE INTO arrivals "
                                  "(identity, link, file_name, path, size, arrived_at, seconds) "
                                  "SELECT ?, ?, ?, ?, ?, ?, ? WHERE NOT ? OR NOT EXISTS "
                                  "(SELECT 1 FROM arrivals WHERE path = ? AND identity = ?)"));
    const QString identity = toDatabase(record.identity);
    const QString path = toDatabase(record.path);
    insert.addBindValue(identity);
    insert.addBindValue(toDatabase(record.link));
    insert.addBindValue(toDatabase(record.fileName));
    insert.addBindValue(path);
    insert.addBindValue(static_cast<qlonglong>(record.size));
    insert.addBindValue(static_cast<qlonglong>(record.arrivedAt));
    insert.addBindValue(record.seconds >= 0 ? QVariant(static_cast<qlonglong>(record.seconds))
                                            : QVariant(QMetaType::fromType<qlonglong>()));
    insert.addBindValue(keepSame);
    insert.addBindValue(path);
    insert.addBindValue(identity);
    return insert.exec();
}

bool HistoryDatabase::Store::isEmpty() {
    QSqlQuery any(database());
    return !any.exec(QStringLiteral("SELECT 1 FROM arrivals LIMIT 1")) || !any.next();
}

std::vector<std::optional<std::int64_t>>
HistoryDatabase::Store::lastArrivals(const std::vector<std::string>& identities) {
    std::vector<std::optional<std::int64_t>> arrivals(identities.size());
    if (identities.empty() || isEmpty()) {
        return arrivals;
    }
    std::vector<QString> asked;
    {
        std::unordered_set<std::string> seen;
        for (const std::string& identity : identities) {
            if (seen.insert(identity).second) {
                asked.push_back(toDatabase(identity));
            }
        }
    }
    std::unordered_map<std::string, std::int64_t> found;
    QSqlQuery lookUp(database());
    lookUp.setForwardOnly(true);
    std::size_t preparedFor = 0;
    for (std::size_t first = 0; first < asked.size(); first += identitiesPerQuery) {
        const std::size_t count = std::min(identitiesPerQuery, asked.size() - first);
        if (count != preparedFor) {
            lookUp.prepare(QStringLiteral("SELECT identity, MAX(arrived_at) FROM arrivals "
                                          "WHERE identity IN (%1) GROUP BY identity")
                               .arg(placeholders(count)));
            preparedFor = count;
        }
        for (std::size_t i = first; i < first + count; ++i) {
            lookUp.addBindValue(asked[i]);
        }
        if (!lookUp.exec()) {
            break;
        }
        while (lookUp.next()) {
            found.emplace(fromDatabase(lookUp.value(0)), lookUp.value(1).toLongLong());
        }
    }
    if (!found.empty()) {
        for (std::size_t i = 0; i < identities.size(); ++i) {
            if (const auto arrival = found.find(identities[i]); arrival != found.end()) {
                arrivals[i] = arrival->second;
            }
        }
    }
    return arrivals;
}

std::vector<HistoryRecord> HistoryDatabase::Store::records(std::int64_t afterId) {
    std::vector<HistoryRecord> listed;
    QSqlQuery all(database());
    all.setForwardOnly(true);
    all.prepare(
        QStringLiteral("SELECT %1 FROM arrivals WHERE id > ? ORDER BY id DESC").arg(listedColumns));
    all.addBindValue(static_cast<qlonglong>(afterId));
    if (!all.exec()) {
        return listed;
    }
    while (all.next()) {
        HistoryRecord& record = listed.emplace_back();
        record.id = all.value(0).toLongLong();
        record.link = fromDatabaseBytes(all.value(1));
        record.path = fromDatabaseBytes(all.value(2));
        record.fileName = record.path.substr(record.path.rfind('/') + 1);
        record.size = all.value(3).toLongLong();
        record.arrivedAt = all.value(4).toLongLong();
        const QVariant seconds = all.value(5);
        record.seconds = seconds.isNull() ? -1 : seconds.toLongLong();
    }
    return listed;
}

bool HistoryDatabase::Store::remove(const std::vector<std::int64_t>& ids) {
    if (!run(QStringLiteral("BEGIN IMMEDIATE"))) {
        return false;
    }
    QSqlQuery forget(database());
    forget.prepare(QStringLiteral("DELETE FROM arrivals WHERE id = ?"));
    bool removed = true;
    for (const std::int64_t id : ids) {
        forget.addBindValue(static_cast<qlonglong>(id));
        removed = removed && forget.exec();
    }
    if (!removed || !run(QStringLiteral("COMMIT"))) {
        run(QStringLiteral("ROLLBACK"));
        return false;
    }
    return true;
}

bool HistoryDatabase::Store::clear() {
    return run(QStringLiteral("DELETE FROM arrivals"));
}

// The thread of the history and the calls waiting for it.
class HistoryDatabase::Worker {
public:
    explicit Worker(const std::filesystem::path& file)
        : thread([this, file] { serve(file); }) {}

    ~Worker() {
        {
            const std::lock_guard lock(mutex);
            stopping = true;
        }
        wake.notify_one();
        thread.join();
    }

    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Carries `task` out on the thread, after the calls before it, and
    // waits for its result.
    template <typename Task>
    auto call(Task task) -> decltype(task(std::declval<Store&>())) {
        std::packaged_task<decltype(task(std::declval<Store&>()))()> job(
            [&] { return task(*store); });
        auto result = job.get_future();
        {
            const std::lock_guard lock(mutex);
            jobs.emplace_back([&job] { job(); });
        }
        wake.notify_one();
        return result.get();
    }

private:
    void serve(const std::filesystem::path& file) {
        // Named, so that a look at the program's threads tells it apart.
        pthread_setname_np(pthread_self(), "history");
        Store opened(file);
        store = &opened;
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stopping || !jobs.empty(); });
            if (jobs.empty()) {
                break;
            }
            const std::function<void()> job = std::move(jobs.front());
            jobs.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    bool stopping = false;
    // Set and read on the thread only, before any job runs.
    Store* store = nullptr;
    std::thread thread; // last: it starts once the rest is made
};

HistoryDatabase::HistoryDatabase(std::filesystem::path file)
    : path(std::move(file))
    , worker(std::make_unique<Worker>(path)) {}

HistoryDatabase::~HistoryDatabase() = default;

HistoryDatabase::Opening HistoryDatabase::opening() const {
    return worker->call([](Store& store) { return store.opening; });
}

std::filesystem::path HistoryDatabase::setAsidePath() const {
    return worker->call([](Store& store) { return store.setAside; });
}

bool HistoryDatabase::add(const HistoryRecord& record, bool keepSame) {
    return worker->call([&](Store& store) { return store.add(record, keepSame); });
}

bool HistoryDatabase::isEmpty() const {
    return worker->call([](Store& store) { return store.isEmpty(); });
}

std::vector<std::optional<std::int64_t>>
HistoryDatabase::lastArrivals(const std::vector<std::string>& identities) const {
    return worker->call([&](Store& store) { return store.lastArrivals(identities); });
}

std::vector<HistoryRecord> HistoryDatabase::records(std::int64_t afterId) const {
    return worker->call([&](Store& store) { return store.records(afterId); });
}

bool HistoryDatabase::remove(const std::vector<std::int64_t>& ids) {
    return worker->call([&](Store& store) { return store.remove(ids); });
}

bool HistoryDatabase::clear() {
    return worker->call([](Store& store) { return store.clear(); });
}

} // namespace platform

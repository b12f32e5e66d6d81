#include "platform/HistoryDatabase.h"

#include "tests/common/TestHelpers.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

using platform::HistoryDatabase;
using platform::HistoryRecord;
using testing_helpers::readFile;
using testing_helpers::TempDir;
using testing_helpers::writeFile;

namespace {

HistoryRecord arrival(const std::string& identity, const std::string& path,
                      std::int64_t arrivedAt) {
    HistoryRecord record;
    record.identity = identity;
    record.link = "http://h/files/1/" + identity;
    record.fileName = path.substr(path.rfind('/') + 1);
    record.path = path;
    record.size = 1000;
    record.arrivedAt = arrivedAt;
    return record;
}

std::vector<std::string> pathsOf(const std::vector<HistoryRecord>& records) {
    std::vector<std::string> paths;
    for (const HistoryRecord& record : records) {
        paths.push_back(record.path);
    }
    return paths;
}

// Runs `sql` on the file as another program would.
void runSql(const std::string& file, const std::vector<QString>& statements) {
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("t"));
        db.setDatabaseName(QString::fromStdString(file));
        ASSERT_TRUE(db.open());
        for (const QString& sql : statements) {
            QSqlQuery query(db);
            EXPECT_TRUE(query.exec(sql)) << sql.toStdString();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("t"));
}

} // namespace

// Kept in the file: a later opening, or another program, reads what one
// wrote; a path holds one record, of its last arrival.
TEST(HistoryDatabase, RecordsArrivalsNewestFirstAndFindsTheLastOfEachFile) {
    TempDir folder;
    const std::string file = folder.file("data/tolvenka/history.sqlite");
    {
        HistoryDatabase history(file);
        EXPECT_EQ(history.opening(), HistoryDatabase::Opening::Opened);
        EXPECT_EQ(history.lastArrivals({"a"}), std::vector<std::optional<std::int64_t>>{{}});
        HistoryRecord first = arrival("a", "/d/Отчёт.zip", 100);
        first.seconds = 7;
        ASSERT_TRUE(history.add(first));
        ASSERT_TRUE(history.add(arrival("b", "/d/b.zip", 200)));
        ASSERT_TRUE(history.add(arrival("a", "/d/a (1).zip", 300)));
    }
    HistoryDatabase history(file);
    HistoryDatabase another(file);
    ASSERT_TRUE(another.add(arrival("b", "/d/b.zip", 400)));
    EXPECT_EQ(history.lastArrivals({"b", "c", "a", "b"}),
              (std::vector<std::optional<std::int64_t>>{400, std::nullopt, 300, 400}));
    const std::vector<HistoryRecord> all = history.records();
    EXPECT_EQ(pathsOf(all), (std::vector<std::string>{"/d/b.zip", "/d/a (1).zip", "/d/Отчёт.zip"}));
    EXPECT_EQ(all[2].fileName, "Отчёт.zip");
    EXPECT_EQ(all[2].link, "http://h/files/1/a");
    EXPECT_EQ(all[2].seconds, 7);
    EXPECT_EQ(all[1].seconds, -1);
    EXPECT_EQ(pathsOf(history.records(all[1].id)), std::vector<std::string>{"/d/b.zip"});
    // Many links are asked in several pieces.
    std::vector<std::string> many(1200, "none");
    many[1100] = "a";
    EXPECT_EQ(history.lastArrivals(many)[1100], 300);

    // Found again after a death: the record there stays as it was.
    EXPECT_TRUE(history.add(arrival("a", "/d/a (1).zip", 999), true));
    EXPECT_EQ(history.lastArrivals({"a"}).front(), 300);

    EXPECT_TRUE(history.remove({all[0].id, all[2].id}));
    EXPECT_EQ(pathsOf(history.records()), std::vector<std::string>{"/d/a (1).zip"});
    EXPECT_TRUE(history.clear());
    EXPECT_TRUE(history.records().empty());
}

// The second version of a later program adds tables; the arrivals are read
// and written as they are.
TEST(HistoryDatabase, AFileOfALaterVersionIsUsedAsItIs) {
    TempDir folder;
    const std::string file = folder.file("history.sqlite");
    { HistoryDatabase made(file); }
    runSql(file, {QStringLiteral("CREATE TABLE unpacked (id INTEGER PRIMARY KEY)"),
                  QStringLiteral("PRAGMA user_version = 2")});
    HistoryDatabase history(file);
    EXPECT_EQ(history.opening(), HistoryDatabase::Opening::Opened);
    EXPECT_TRUE(history.add(arrival("a", "/d/a.zip", 1)));
    EXPECT_EQ(history.records().size(), 1u);
}

// Never a reason to stop: what cannot be read goes aside, whole, and a new
// history starts; where no file can be made, the history lasts the run.
TEST(HistoryDatabase, AFileThatCannotBeReadIsSetAsideAndANewOneMade) {
    const std::vector<std::function<void(const std::string&)>> spoilers = {
        [](const std::string& file) { writeFile(file, std::string(5000, 'x')); },
        [](const std::string& file) { std::filesystem::create_directory(file); },
        [](const std::string& file) {
            runSql(file, {QStringLiteral("CREATE TABLE arrivals (name TEXT)"),
                          QStringLiteral("PRAGMA user_version = 1")});
        },
    };
    for (std::size_t kind = 0; kind < spoilers.size(); ++kind) {
        TempDir folder;
        const std::string file = folder.file("history.sqlite");
        spoilers[kind](file);
        HistoryDatabase history(file);
        ASSERT_EQ(history.opening(), HistoryDatabase::Opening::SetAside) << kind;
        EXPECT_EQ(history.setAsidePath(), folder.file("history.sqlite.unreadable"));
        EXPECT_TRUE(std::filesystem::exists(history.setAsidePath()));
        EXPECT_TRUE(history.add(arrival("a", "/d/a.zip", 1)));
        EXPECT_EQ(HistoryDatabase(file).records().size(), 1u) << kind;
    }

    TempDir folder;
    writeFile(folder.file("data"), "a file where the folder would be");
    HistoryDatabase history(folder.file("data/history.sqlite"));
    EXPECT_EQ(history.opening(), HistoryDatabase::Opening::InMemory);
    EXPECT_TRUE(history.add(arrival("a", "/d/a.zip", 1)));
    EXPECT_EQ(history.lastArrivals({"a"}).front(), 1);
    EXPECT_EQ(readFile(folder.file("data")), "a file where the folder would be");
}

// Downloads record from their threads while the GUI thread reads.
TEST(HistoryDatabase, ThreadsRecordAndReadAtOnce) {
    TempDir folder;
    HistoryDatabase history(folder.file("history.sqlite"));
    std::vector<std::thread> writers;
    for (int writer = 0; writer < 4; ++writer) {
        writers.emplace_back([&history, writer] {
            for (int i = 0; i < 25; ++i) {
                const std::string name = std::to_string(writer) + "-" + std::to_string(i);
                history.add(arrival(name, "/d/" + name, i));
            }
        });
    }
    for (int read = 0; read < 20; ++read) {
        EXPECT_LE(history.records().size(), 100u);
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    EXPECT_EQ(history.records().size(), 100u);
}

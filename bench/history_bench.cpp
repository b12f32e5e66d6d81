// The history of arrivals with N records (100,000 unless named): the time
// from "История…" to its window shown and painted, the time from a
// keystroke in its filter to the window painted anew, and for one arrival
// the time its record takes on the thread that brought the file and the
// time the GUI thread spends on it with the window open (its new row put on
// top, and again with the rows that moved painted); with the window closed
// the GUI thread has no part in an arrival's record.
// Medians and the largest of each.
//
//   bench_history [records=100000]
#include "bench/BenchSupport.h"
#include "bench/ForEachQueueSize.h"
#include "engine/Download.h"
#include "platform/HistoryDatabase.h"
#include "queue/ArrivalHistory.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "ui/HistoryWindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>
#include <QVariant>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Once `widget` has painted itself whole.
void painted(QWidget& widget) {
    QApplication::processEvents();
    widget.repaint();
}

// Once the event loop has painted what the change marked, as it does after
// an arrival: the rows of the table that moved.
void updated() {
    QApplication::processEvents();
}

// A download whose file has arrived, as the history is told of it.
class ArrivedDownload : public tolvenka::Download {
public:
    ArrivedDownload(std::string link, std::string path)
        : Download(std::move(link), std::move(path), tolvenka::serviceHost()) {}

protected:
    bool process() override { return true; }
    void saveKindData(std::ostream&) const override {}
};

std::string nameOf(int i) {
    return "archive-part" + std::to_string(i) + ".rar";
}

// `count` records of files that arrived a minute apart, written as one
// transaction beside the history's own connection.
bool fillHistory(const std::filesystem::path& file, int count) {
    { platform::HistoryDatabase made(file); }
    bool filled = false;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(QString::fromStdString(file.string()));
        if (db.open() && db.transaction()) {
            QSqlQuery insert(db);
            insert.prepare(QStringLiteral(
                "INSERT INTO arrivals (identity, link, file_name, path, size, arrived_at, seconds) "
                "VALUES (?, ?, ?, ?, ?, ?, ?)"));
            filled = true;
            for (int i = 0; i < count && filled; ++i) {
                const QString name = QString::fromStdString(nameOf(i));
                insert.addBindValue(QStringLiteral("service:%1/").arg(100'000'000 + i) + name);
                insert.addBindValue(
                    QStringLiteral("http://rapidshare.com/files/%1/").arg(100'000'000 + i) + name);
                insert.addBindValue(name);
                insert.addBindValue(QString::fromUtf8("/home/user/Загрузки/") + name);
                insert.addBindValue(104'857'600);
                insert.addBindValue(1'700'000'000LL + 60LL * i);
                insert.addBindValue(95);
                filled = insert.exec();
            }
            filled = filled && db.commit();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    return filled;
}

// Processor time of the whole process, every thread of it, in ms: on a
// busy machine the wall time tells more of the machine than of the program.
double processorMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The wall and processor times of one kind of work, each time it is done.
struct Figures {
    std::vector<double> wall;
    std::vector<double> processor;

    void time(const std::function<void()>& work) {
        const auto start = Clock::now();
        const double startProcessor = processorMs();
        work();
        processor.push_back(processorMs() - startProcessor);
        wall.push_back(msSince(start));
    }

    void print(const char* what) const {
        std::printf("%s: median %.2f ms, largest %.2f ms; processor median %.2f ms, largest "
                    "%.2f ms (%zu times)\n",
                    what, bench::median(wall), *std::max_element(wall.begin(), wall.end()),
                    bench::median(processor), *std::max_element(processor.begin(), processor.end()),
                    wall.size());
    }
};

} // namespace

int main(int argc, char** argv) {
    useOffscreenPlatformUnlessChosen();
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 100'000;
    tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
    const tolvenka::DownloadMaker maker;
    const std::filesystem::path folder = bench::scratchFolder("tolvenka-history-bench");
    const std::filesystem::path file = folder / "history.sqlite";
    if (!fillHistory(file, count)) {
        std::fprintf(stderr, "cannot fill the history\n");
        return 1;
    }
    int status = 0;
    {
        tolvenka::ArrivalHistory history(file);
        tolvenka::HistoryWindow window(history);
        window.openOnDesktop = [](const QUrl&) {
        };
        auto* table = window.findChild<QTableView*>(QStringLiteral("records"));

        Figures reading;
        for (int repeat = 0; repeat < 3; ++repeat) {
            std::size_t read = 0;
            reading.time([&] { read = history.database().records().size(); });
            status = read == static_cast<std::size_t>(count) ? status : 1;
        }
        Figures opening;
        for (int repeat = 0; repeat < 5; ++repeat) {
            opening.time([&] {
                window.showHistory();
                painted(window);
            });
            if (table->model()->rowCount() != count) {
                std::fprintf(stderr, "the window shows %d records\n", table->model()->rowCount());
                status = 1;
            }
            window.hide();
        }

        window.showHistory();
        painted(window);
        auto* filter = window.findChild<QLineEdit*>(QStringLiteral("filter"));
        filter->setFocus();
        Figures keystrokes;
        const auto timed = [&](const std::function<void()>& keystroke) {
            keystrokes.time([&] {
                keystroke();
                painted(window);
            });
        };
        for (const char letter : std::string("part99")) {
            timed([&] { QTest::keyClick(filter, letter); });
        }
        for (int back = 0; back < 6; ++back) {
            timed([&] { QTest::keyClick(filter, Qt::Key_Backspace); });
        }

        Figures recorded;
        Figures put;
        Figures shown;
        for (int arrival = 0; arrival < 100; ++arrival) {
            const ArrivedDownload download("http://rapidshare.com/files/" +
                                               std::to_string(900'000'000 + arrival) + "/new.rar",
                                           "/home/user/new (" + std::to_string(arrival) + ").rar");
            // The thread that brought the file waits for its record.
            std::thread bringer([&] {
                recorded.time([&] { history.recordArrival(download, {1'000'000, 10, false}); });
            });
            bringer.join();
            if (arrival % 2 == 0) {
                put.time([&] { window.showNewArrivals(); });
                updated();
            } else {
                shown.time([&] {
                    window.showNewArrivals();
                    updated();
                });
            }
        }
        if (table->model()->rowCount() != count + 100) {
            std::fprintf(stderr, "the new arrivals do not show\n");
            status = 1;
        }
        std::printf("%d records\n", count);
        reading.print("the records read");
        opening.print("window shown and painted");
        keystrokes.print("a keystroke in the filter, painted");
        recorded.print("one arrival recorded, on the thread that brought it");
        put.print("one arrival on the GUI thread, the window open: its row put on top");
        shown.print("the same, and the rows that moved painted");
    }
    std::filesystem::remove_all(folder);
    return status;
}

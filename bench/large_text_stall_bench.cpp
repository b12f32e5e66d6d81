// How long the window stops answering while it takes a large text: the
// longest gap between ticks of a 1 ms timer on the GUI thread, from the
// moment the text is given until the program has told what it found. Three
// ways a large text comes:
//
//   hand-over  a later start's text (4 MiB, the most a hand-over carries)
//   copy       a copy made in another program, with the watch on (4 MiB):
//              it tells nothing, so the loop runs for two seconds
//   typed      "Добавить" on a text pasted into the input box (16 MiB)
//
// Each text is prose with page addresses in it and no download link, so
// that what is measured is the search, not the dialog of its links (that is
// bench_links_dialog's). Prints the longest stall of each, and the goal.
//
//   bench_large_text_stall [repeats=3]
#include "bench/BenchSupport.h"
#include "intake/LinkExtraction.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "ui/Main.h"
#include "ui/Twindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

using Clock = std::chrono::steady_clock;

// Words and page addresses, the way a forum page reads.
QString prose(std::size_t bytes) {
    const QString piece =
        QStringLiteral("see the thread http://forum.example/t?id=1234#post and the mirror "
                       "HTTP://mirror.example/file/ then reply,\n");
    QString text;
    text.reserve(static_cast<qsizetype>(bytes));
    while (static_cast<std::size_t>(text.size()) + piece.size() <= bytes) {
        text += piece;
    }
    return text;
}

// The longest gap between the ticks of a timer on the GUI thread while it
// runs.
class StallMeter {
public:
    StallMeter() {
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const Clock::time_point now = Clock::now();
            longest = std::max(longest, now - last);
            last = now;
        });
    }
    void start() {
        longest = {};
        last = Clock::now();
        timer.start();
    }
    double stopMs() {
        timer.stop();
        return std::chrono::duration<double, std::milli>(longest).count();
    }

private:
    QTimer timer;
    Clock::time_point last;
    Clock::duration longest{};
};

// Runs `give` and the event loop until `told` holds; the message box that
// tells what was found is closed as soon as it shows.
double stallWhile(StallMeter& meter, const std::function<void()>& give,
                  const std::function<bool()>& told, int forMs = 60'000) {
    QTimer closer;
    closer.setInterval(1);
    bool boxShown = false;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxShown = true;
            box->accept();
        }
    });
    closer.start();
    meter.start();
    give();
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(forMs);
    while (!(told() || boxShown) && Clock::now() < deadline) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return meter.stopMs();
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::filesystem::path folder = bench::scratchFolder("tolvenka-stall-bench");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((folder / "config").string()));
    QApplication app(argc, argv);
    tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
    tolvenka::DownloadMaker maker;
    tolvenka::Main state;
    state.targetFolder = folder.string() + "/";
    tolvenka::Twindow window(state, (folder / "downloads.txt").string());
    window.show();
    window.findChild<QCheckBox*>(QStringLiteral("watchClipboard"))->setChecked(true);
    const QString handedOver = prose(4 * 1024 * 1024);
    const QString typed = prose(tolvenka::maxTypedBytes);

    StallMeter meter;
    std::vector<double> handOver, copy, add;
    for (int run = 0; run < repeats; ++run) {
        handOver.push_back(stallWhile(
            meter, [&] { window.addFromOutside(handedOver); }, [] { return false; }));
        copy.push_back(stallWhile(
            meter, [&] { QApplication::clipboard()->setText(handedOver); }, [&] { return false; },
            2000));
        auto* input = window.findChild<QPlainTextEdit*>(QStringLiteral("input"));
        input->setPlainText(typed);
        add.push_back(stallWhile(
            meter,
            [&] {
                QTimer::singleShot(
                    0, [&] { window.findChild<QPushButton*>(QStringLiteral("add"))->click(); });
            },
            [] { return false; }));
        input->clear();
    }
    std::printf("longest stall of the GUI thread, median of %d (goal: at most 50 ms)\n", repeats);
    std::printf("  hand-over 4 MiB: %6.1f ms\n", bench::median(handOver));
    std::printf("  copy 4 MiB:      %6.1f ms\n", bench::median(copy));
    std::printf("  typed 16 MiB:    %6.1f ms\n", bench::median(add));
    window.closeWithoutAsking();
    std::filesystem::remove_all(folder);
    return 0;
}

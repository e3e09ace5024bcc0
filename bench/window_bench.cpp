// Drives the real window on the current platform (offscreen in the benchmark)
// the way a user types, and times each keystroke from the key event to the
// grid repainted with its new rows.
//
//   fiche-bench --startup          prints "shown NS" (CLOCK_MONOTONIC) once painted
//   fiche-bench --close            closes the window as soon as it is painted
//                                  and prints "closing NS" (CLOCK_MONOTONIC)
//   fiche-bench --first QUERY      types QUERY as soon as the window is painted and
//                                  prints "first NS ROWS" (CLOCK_MONOTONIC) once the
//                                  grid is painted with its rows
//   fiche-bench --cold QUERY       prints "cold MS" for the first search of the run
//   fiche-bench --indexing A,B,... types A as soon as the window is painted, then
//                                  times one keystroke of each query at once,
//                                  while the engine still builds its search
//                                  index: "indexing QUERY MS ROWS faults N" per
//                                  query (N: the process's minor page faults
//                                  during the keystroke); with --rounds R
//                                  --pause SECONDS, R rounds of them, a pause
//                                  after each
//   fiche-bench --reps N --queries A,B,... [--settle SECONDS]
//                                  lets the engine settle (read and index the
//                                  table) for SECONDS, then prints "warm QUERY
//                                  MEDIAN_MS ROWS faults MEDIAN_N" per query,
//                                  then "rss MiB" (peak resident set)
//   fiche-bench --live N [--settle SECONDS]
//                                  lets the engine settle, then makes N edits
//                                  as a colleague would, with the file's
//                                  times kept, and types each one's marker
//                                  every 20 ms until listed: "live KIND
//                                  DETECT_MS REFRESH_MS ROWS" per edit, then
//                                  "live-rss STEADY_MiB PEAK_MiB" (resident
//                                  set before the edits, and its peak while
//                                  they were found)

#include "article_database/module1.h"
#include "jet_engine/platform/operating_system.h"
#include "live_edits.h"
#include "search_window/qt/form1.h"
#include "search_window/qt/grid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double elapsedMs(Clock::time_point from)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

long minorFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

struct Keystroke {
    double ms = 0;
    // Pages the process touched for the first time meanwhile, on any thread.
    long faults = 0;
};

// Types all but the last character, then times the last one and the repaint.
Keystroke timeLastKeystroke(QLineEdit *box, search_window::Grid *grid, const QString &query)
{
    box->clear();
    QTest::keyClicks(box, query.left(query.size() - 1));
    const long faults = minorFaults();
    const auto start = Clock::now();
    QTest::keyClick(box, query.back().toLatin1());
    grid->viewport()->grab();
    return {elapsedMs(start), minorFaults() - faults};
}

double statusMiB(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0)
            return std::stod(line.substr(std::string(field).size())) / 1024.0;
    }
    return 0;
}

// Puts the whole of `text` in the box at once, as a paste does: one search,
// timed with the repaint.
double timePaste(QLineEdit *box, search_window::Grid *grid, const QString &text)
{
    box->clear();
    const auto start = Clock::now();
    box->setText(text);
    grid->viewport()->grab();
    return elapsedMs(start);
}

double peakResidentMiB() { return statusMiB("VmHWM:"); }

// The peak so far forgotten: from now on it is that of what follows.
void resetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

template <typename T>
T median(std::vector<T> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

struct Window {
    article_database::Module1 module;
    search_window::Form1 form{module};
    QLineEdit *box = nullptr;
    search_window::Grid *grid = nullptr;

    Window()
    {
        form.show();
        box = form.findChild<QLineEdit *>(QStringLiteral("RechGeneral"));
        grid = form.findChild<search_window::Grid *>(QStringLiteral("G"));
        QApplication::processEvents();
    }
};

void printMonotonic(const char *label)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::printf("%s %lld\n", label, static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    std::fflush(stdout);
}

// Once the window is first painted: either quits at once, or closes the
// window as the user would and lets the program end by itself.
class PaintWatcher : public QObject {
public:
    explicit PaintWatcher(QWidget *closing = nullptr) : m_closing(closing) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_done) {
            m_done = true;
            QMetaObject::invokeMethod(qApp, [closing = m_closing] {
                if (closing) {
                    printMonotonic("closing");
                    closing->close();
                } else {
                    printMonotonic("shown");
                    QApplication::quit();
                }
            }, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget *m_closing;
    bool m_done = false;
};

// Runs `then` once, from the event loop, after the first paint.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(std::function<void()> then) : m_then(std::move(then)) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && m_then) {
            QMetaObject::invokeMethod(qApp, std::move(m_then), Qt::QueuedConnection);
            m_then = nullptr;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_then;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();

    if (args.contains(QStringLiteral("--startup")) || args.contains(QStringLiteral("--close"))) {
        article_database::Module1 module;
        search_window::Form1 form(module);
        PaintWatcher watcher(args.contains(QStringLiteral("--close")) ? &form : nullptr);
        form.installEventFilter(&watcher);
        form.show();
        return app.exec();
    }

    if (const auto at = args.indexOf(QStringLiteral("--first")); at >= 0 && at + 1 < args.size()) {
        article_database::Module1 module;
        search_window::Form1 form(module);
        auto *box = form.findChild<QLineEdit *>(QStringLiteral("RechGeneral"));
        auto *grid = form.findChild<search_window::Grid *>(QStringLiteral("G"));
        const QString query = args[at + 1];
        FirstPaint watcher([&] {
            QTest::keyClicks(box, query);
            grid->viewport()->grab();
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            std::printf("first %lld %d\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec,
                        grid->Rows() - 1);
            std::fflush(stdout);
            QApplication::quit();
        });
        form.installEventFilter(&watcher);
        form.show();
        return app.exec();
    }

    if (const auto at = args.indexOf(QStringLiteral("--indexing")); at >= 0 && at + 1 < args.size()) {
        article_database::Module1 module;
        search_window::Form1 form(module);
        auto *box = form.findChild<QLineEdit *>(QStringLiteral("RechGeneral"));
        auto *grid = form.findChild<search_window::Grid *>(QStringLiteral("G"));
        const QStringList queries = args[at + 1].split(u',');
        int rounds = 1;
        if (const auto r = args.indexOf(QStringLiteral("--rounds")); r >= 0 && r + 1 < args.size())
            rounds = args[r + 1].toInt();
        double pause = 0;
        if (const auto p = args.indexOf(QStringLiteral("--pause")); p >= 0 && p + 1 < args.size())
            pause = args[p + 1].toDouble();
        FirstPaint watcher([&] {
            QTest::keyClicks(box, queries.front());
            grid->viewport()->grab();
            for (int round = 0; round < rounds; ++round) {
                if (round > 0)
                    QTest::qWait(int(pause * 1000));
                for (const QString &query : queries) {
                    const Keystroke key = timeLastKeystroke(box, grid, query);
                    std::printf("indexing %s %.3f %d faults %ld\n", qPrintable(query), key.ms, grid->Rows() - 1,
                                key.faults);
                }
                std::fflush(stdout);
            }
            QApplication::quit();
        });
        form.installEventFilter(&watcher);
        form.show();
        return app.exec();
    }

    if (const auto at = args.indexOf(QStringLiteral("--cold")); at >= 0 && at + 1 < args.size()) {
        Window window;
        const double ms = timeLastKeystroke(window.box, window.grid, args[at + 1]).ms;
        std::printf("cold %.3f %d\n", ms, window.grid->Rows() - 1);
        return 0;
    }

    int reps = 21;
    QStringList queries = {QStringLiteral("RO")};
    if (const auto at = args.indexOf(QStringLiteral("--reps")); at >= 0 && at + 1 < args.size())
        reps = args[at + 1].toInt();
    if (const auto at = args.indexOf(QStringLiteral("--queries")); at >= 0 && at + 1 < args.size())
        queries = args[at + 1].split(u',');

    double settle = 0;
    if (const auto at = args.indexOf(QStringLiteral("--settle")); at >= 0 && at + 1 < args.size())
        settle = args[at + 1].toDouble();

    if (const auto at = args.indexOf(QStringLiteral("--live")); at >= 0 && at + 1 < args.size()) {
        Window window;
        QElapsedTimer settling;
        settling.start();
        while (settling.elapsed() < qint64(settle * 1000))
            QTest::qWait(50);
        live_edits::Colleague colleague;
        if (const std::string error = colleague.open(article_database::databasePath(jet_engine::operatingSystem()));
            !error.empty()) {
            std::fprintf(stderr, "fiche-bench: %s\n", error.c_str());
            return 1;
        }
        resetPeakResident();
        const double steady = statusMiB("VmRSS:");
        const int edits = args[at + 1].toInt();
        const bool made = live_edits::findEach(
            colleague, edits,
            [&](const std::string &marker) {
                const double ms = timePaste(window.box, window.grid, QString::fromStdString(marker));
                return std::pair(ms, window.grid->Rows() - 1);
            },
            [] { QTest::qWait(20); });
        if (!made)
            return 1;
        std::printf("live-rss %.1f %.1f\n", steady, peakResidentMiB());
        return 0;
    }

    Window window;
    QElapsedTimer settling;
    settling.start();
    while (settling.elapsed() < qint64(settle * 1000))
        QTest::qWait(50);
    for (const QString &query : queries) {
        std::vector<double> samples;
        std::vector<long> faults;
        timeLastKeystroke(window.box, window.grid, query); // warms the engine's copy of the file
        for (int i = 0; i < reps; ++i) {
            const Keystroke key = timeLastKeystroke(window.box, window.grid, query);
            samples.push_back(key.ms);
            faults.push_back(key.faults);
        }
        std::printf("warm %s %.3f %d faults %ld\n", qPrintable(query), median(samples), window.grid->Rows() - 1,
                    median(faults));
        std::fflush(stdout);
    }
    std::printf("rss %.1f\n", peakResidentMiB());
    return 0;
}

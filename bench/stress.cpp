// bench_stress: the real main window under a user who keeps typing and clicking
// while a long Search and the ship selection it ends with are running.
//
//   bench_stress fleet|noeol [--data DIR]
//
// fleet: 20 day logs of 100 MB with a fleet of 1500 ships, no MMSI, no area,
//        so the Search lists 1000 ships, shows the limit message and the ship
//        selection then reads all 2 GB.
// noeol: one 200 MB log without any line end, then one record.
//
// The logs are generated once into DIR/stress/<scenario> (default bench/data
// beside this file) and reused while their stamp matches. A 1 ms timer, which
// runs only inside the reader's event-loop turns (and the message box's loop),
// times the turns, samples the resident size and does the typing and clicking.
// The lists must come out as the engine alone makes them, with nobody typing.
// Exit status: 0 every target met, 3 a target missed, 4 the run did not end
// within 10 minutes, 1 the data could not be written.

#include "demodata.h"
#include "headlesshost.h"
#include "timinghost.h"

#include "engine/module1.h"
#include "main_window/form1.h"
#include "platform/files.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSaveFile>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr double kGapTargetMs = 100;
constexpr double kGrowthLimitMb = 16;   // 1000 list items take well under 1 MB
constexpr int kWatchdogSeconds = 600;

struct Scenario
{
    const char *name;
    QString first, last;    // the period typed into Text1(7) and Text1(8)
    QByteArray stamp;
    std::function<bool(const QString &dir, QString *error)> generate;
    int ships, files;       // what the lists must hold at the end; -1: anything but 0
};

bool generateFleet(const QString &dir, QString *error)
{
    DemoData::Options options;
    options.end = QDate(2011, 4, 20);
    options.days = 20;
    options.mbPerDay = 100;
    options.ships = 1500;
    options.pictures = false;
    return DemoData::generate(dir, options, error);
}

// 200 MB in which the reader finds no comma, CR or LF, then one record.
bool generateNoLineEnd(const QString &dir, QString *error)
{
    QSaveFile file(dir + "/logs/20110401_AIS_FMT.log");
    if (!QDir(dir).mkpath("logs") || !file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    QByteArray chunk;
    while (chunk.size() < (1 << 20))
        chunk += "NO LINE END 0123456789 ";
    chunk.truncate(1 << 20);
    for (qint64 left = 200'000'000; left > 0; left -= chunk.size()) {
        if (file.write(chunk.constData(), std::min<qint64>(left, chunk.size())) < 0)
            break;
    }
    file.write("\r\n-------------------- 2011/04/01 23:59:00\r\n"
               "MMSI NUMBER         = 431999999\r\n"
               "NAME                = LAST LINE MARU\r\n"
               "LONGITUDE           = 130.9747\r\n"
               "LATITUDE            = 33.9683\r\n"
               "SPEED OVER GROUND   = 12.3 [knots]\r\n");
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

// Generates in a child process, so that the generator's memory never counts in
// this process's peak resident size.
bool ensureData(const QString &dir, const Scenario &s)
{
    const QString stampPath = dir + "/stamp";
    QFile existing(stampPath);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == s.stamp)
        return true;
    existing.close();

    std::printf("generating %s ...\n", s.stamp.trimmed().constData());
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        QString error;
        QDir(dir + "/logs").removeRecursively();
        const bool ok = s.generate(dir, &error) && Platform::writeFileAtomically(stampPath, s.stamp, &error);
        if (!ok)
            std::fprintf(stderr, "bench_stress: %s\n", qPrintable(error));
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

QStringList items(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

double rssMb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return double(fields.value(1).toLongLong()) * double(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

double peakRssMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

// Ends the process when the run has not ended in time: a hang inside the
// command starves the event loop, so only another thread can notice it.
class Watchdog
{
public:
    explicit Watchdog(int seconds)
        : m_thread([this, seconds] {
            std::unique_lock lock(m_mutex);
            if (!m_wake.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_done; })) {
                std::fprintf(stderr, "bench_stress: no end after %d s\n", seconds);
                std::_Exit(4);
            }
        })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::thread m_thread;
};

// The user at work during the command, and what the event-loop turns show.
class Stress
{
public:
    explicit Stress(Form1 &form) : m_form(form)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
        buildActions();
    }

    void start()
    {
        rssAtStart = rssMb();
        m_clock.start();
        m_timer.start();
    }
    void stop()
    {
        m_timer.stop();
        noteTurn(); // the stretch after the last turn counts too
        rssAtEnd = rssMb();
    }

    double longestGapMs = 0, longestGapAtS = 0;
    QString longestGapStatus;
    int turns = 0, gapsOverTarget = 0;
    int keystrokes = 0, toggles = 0, listClicks = 0, clicksOnEnabledList = 0;
    int limitMessages = 0, shipsAtLimitMessage = -1;
    double rssAtStart = 0, rssAtEnd = 0, rssHighest = 0;
    std::vector<double> rssTimeline; // every half second

private:
    void noteTurn()
    {
        const double now = double(m_clock.nsecsElapsed()) / 1e6;
        const double gap = now - m_lastTurnMs;
        if (gap > longestGapMs) {
            longestGapMs = gap;
            longestGapAtS = now / 1000;
            longestGapStatus = m_form.Label2->text();
        }
        if (gap >= kGapTargetMs)
            ++gapsOverTarget;
        m_lastTurnMs = now;
    }

    void tick()
    {
        noteTurn();
        ++turns;
        const double rss = rssMb();
        rssHighest = std::max(rssHighest, rss);
        if (m_lastTurnMs >= 500.0 * double(rssTimeline.size()))
            rssTimeline.push_back(rss);

        // While the limit message is up, the user can only answer it.
        if (auto *box = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            if (limitMessages++ == 0)
                shipsAtLimitMessage = m_form.List1->count();
            box->accept();
            return;
        }
        m_actions[m_step++ % m_actions.size()]();
    }

    void type(QLineEdit *field, const char *keys)
    {
        QTest::keyClicks(field, QString::fromLatin1(keys));
        keystrokes += int(qstrlen(keys));
    }
    void erase(QLineEdit *field, int count)
    {
        for (int i = 0; i < count; ++i)
            QTest::keyClick(field, Qt::Key_Backspace);
        keystrokes += count;
    }
    // Ticked and unticked within one turn: the engine takes the criteria after
    // the turn, so area B never applies. Ticked for a whole turn it would
    // filter the 5 MB or so read before the next one, and a ship that passed
    // then would lose that day from its file list.
    void tickAndUntick(QCheckBox *box)
    {
        QTest::keyClick(box, Qt::Key_Space);
        QTest::keyClick(box, Qt::Key_Space);
        toggles += 2;
    }
    // The lists are disabled for the whole pass: a click that reaches an enabled
    // list here could start a second pass inside the running one.
    void click(QListWidget *list)
    {
        const QListWidgetItem *item = list->item(std::min(1, list->count() - 1));
        const QPoint at = item ? list->visualItemRect(item).center() : list->viewport()->rect().center();
        if (list->isEnabled())
            ++clicksOnEnabledList;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        ++listClicks;
    }

    // Area B's fields while its box is unticked, and period edits that keep
    // every file of the period in it ("2011040" <= any date of April,
    // "201104209" >= 20110420), so the result stays the one without criteria.
    void buildActions()
    {
        Form1 &f = m_form;
        m_actions = {
            [this, &f] { type(f.Text1[9], "33.9"); },
            [this, &f] { type(f.Text1[10], "130.99"); },
            [this, &f] { type(f.Text1[8], "9"); },
            [this, &f] { erase(f.Text1[7], 1); },
            [this, &f] { tickAndUntick(f.Check1[1]); },
            [this, &f] { click(f.List1); },
            [this, &f] { click(f.List2); },
            [this, &f] { erase(f.Text1[9], 4); },
            [this, &f] { erase(f.Text1[10], 6); },
            [this, &f] { erase(f.Text1[8], 1); },
            [this, &f] { type(f.Text1[7], "1"); },
        };
    }

    Form1 &m_form;
    QTimer m_timer;
    QElapsedTimer m_clock;
    double m_lastTurnMs = 0;
    std::vector<std::function<void()>> m_actions;
    std::size_t m_step = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    QString dataRoot = QStringLiteral(VELK_BENCH_DATA);
    const QByteArray which = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (argc == 4 && qstrcmp(argv[2], "--data") == 0)
        dataRoot = QString::fromLocal8Bit(argv[3]);
    const std::vector<Scenario> scenarios = {
        {"fleet", "20110401", "20110420", "seed 1, 20 days to 20110420, 100 MB a day, 1500 ships\n", generateFleet,
         1000, -1},
        {"noeol", "20110401", "20110401", "200000000 bytes without a line end, then one record\n", generateNoLineEnd,
         1, 1},
    };
    const Scenario *scenario = nullptr;
    for (const Scenario &s : scenarios)
        scenario = which == s.name ? &s : scenario;
    if (!scenario || (argc != 2 && argc != 4)) {
        std::fprintf(stderr, "usage: bench_stress fleet|noeol [--data DIR]\n");
        return 2;
    }
    const QString dir = QDir(dataRoot).absoluteFilePath(QStringLiteral("stress/") + scenario->name);
    if (!QDir().mkpath(dir + "/work") || !ensureData(dir, *scenario))
        return 1;

    const Watchdog watchdog(kWatchdogSeconds);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The program runs in work/ and finds the logs as ../logs/.
    QDir::setCurrent(dir + "/work");
    QFile::remove(QStringLiteral("VelkaisLogBrowser.ini"));

    qint64 bytes = 0;
    const QStringList names = Platform::listFiles(dir + "/logs", Module1::kLogSuffix);
    for (const QString &name : names) {
        QFile file(dir + "/logs/" + name);
        bytes += file.size();
        // Into the page cache, so that the figures are the program's, not the disk's.
        if (file.open(QIODevice::ReadOnly)) {
            while (!file.read(1 << 22).isEmpty()) {
            }
        }
    }
    const double megabytes = double(bytes) / 1e6;

    Form1 form;
    form.setExitHandler([] {});
    form.show();
    (void)QTest::qWaitForWindowExposed(&form);
    form.Text1[7]->setText(scenario->first);
    form.Text1[8]->setText(scenario->last);
    form.Text1[0]->clear();
    for (QCheckBox *box : form.Check1)
        box->setChecked(false);

    Module1::Host *windowHost = Module1::host();
    TimingHost timing(*windowHost, [] {
        const auto t = std::chrono::steady_clock::now().time_since_epoch();
        return TimingHost::Stamp{std::chrono::duration<double>(t).count(), 0};
    });
    Module1::setHost(&timing);

    Stress stress(form);
    const double peakBefore = peakRssMb();
    const auto started = std::chrono::steady_clock::now();
    stress.start();
    // Returns when the Search and the ship selection it ends with have returned.
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    stress.stop();
    const double peak = peakRssMb();
    const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double startWall = std::chrono::duration<double>(started.time_since_epoch()).count();
    Module1::setHost(windowHost);

    const int ships = form.List1->count();
    const int files = form.List2->count();
    const bool split = timing.selectStart.wall >= 0;
    const double searchS = split ? timing.selectStart.wall - startWall : total;
    const double selectionS = split ? timing.selectEnd.wall - timing.selectStart.wall : 0;
    const double growth = stress.rssHighest - stress.rssAtStart;

    std::printf("\n%s: %lld log file(s), %.1f MB, in %s; warm page cache\n", scenario->name,
                static_cast<long long>(names.size()), megabytes, qPrintable(dir));
    std::printf("  Search pass            %7.3f s\n", searchS);
    if (split)
        std::printf("  ship selection         %7.3f s  %6.1f MB/s, all files\n", selectionS, megabytes / selectionS);
    std::printf("  click on Command1      %7.3f s\n", total);
    std::printf("  event-loop turns       %d, longest gap %.1f ms at %.2f s (\"%s\"), %d gap(s) of %g ms or more\n",
                stress.turns, stress.longestGapMs, stress.longestGapAtS, qPrintable(stress.longestGapStatus),
                stress.gapsOverTarget, kGapTargetMs);
    std::printf("  user input             %d keystrokes, %d check box toggles, %d list clicks (%d on an enabled list)\n",
                stress.keystrokes, stress.toggles, stress.listClicks, stress.clicksOnEnabledList);
    std::printf("  lists                  %d ships, %d files of the first ship; limit message %d time(s)",
                ships, files, stress.limitMessages);
    if (stress.limitMessages > 0)
        std::printf(", with %d ships listed", stress.shipsAtLimitMessage);
    std::printf("\n  resident MB            %.1f at the click, %.1f highest, %.1f at the end; peak %.1f (%.1f before)\n",
                stress.rssAtStart, stress.rssHighest, stress.rssAtEnd, peak, peakBefore);
    std::printf("  resident MB, every 0.5 s:");
    for (double r : stress.rssTimeline)
        std::printf(" %.1f", r);
    std::printf("\n");

    HeadlessHost alone;
    alone.first = scenario->first;
    alone.last = scenario->last;
    Module1::setHost(&alone);
    Module1::searchCommand();
    Module1::setHost(windowHost);
    const bool same = alone.ships == items(form.List1) && alone.files == items(form.List2);
    std::printf("  the same Search by the engine alone: %lld ships, %lld files, %s\n",
                static_cast<long long>(alone.ships.size()), static_cast<long long>(alone.files.size()),
                same ? "the same lists" : "DIFFERENT lists");

    QStringList faults;
    if (stress.longestGapMs >= kGapTargetMs)
        faults << QStringLiteral("gap %1 ms").arg(stress.longestGapMs, 0, 'f', 1);
    if (growth > kGrowthLimitMb)
        faults << QStringLiteral("RSS grew %1 MB").arg(growth, 0, 'f', 1);
    if (ships != scenario->ships)
        faults << QStringLiteral("%1 ships").arg(ships);
    if (scenario->files < 0 ? files == 0 : files != scenario->files)
        faults << QStringLiteral("%1 files").arg(files);
    if (!same)
        faults << QStringLiteral("lists differ from the engine's");
    if (stress.clicksOnEnabledList > 0)
        faults << QStringLiteral("list enabled during the pass");
    if ((scenario->ships >= Module1::kResultLimit) != (stress.limitMessages == 1))
        faults << QStringLiteral("%1 limit messages").arg(stress.limitMessages);
    const QString verdict = faults.isEmpty() ? QStringLiteral("ok") : faults.join(QStringLiteral(", "));

    std::printf("table: %s|%.1f|%.1f|%.1f -> %.1f|%.1f|%.0f|%d|%d|%s\n", scenario->name, megabytes,
                stress.longestGapMs, stress.rssAtStart, stress.rssHighest, peak,
                split ? megabytes / selectionS : megabytes / total, ships, files, qPrintable(verdict));
    return faults.isEmpty() ? 0 : 3;
}

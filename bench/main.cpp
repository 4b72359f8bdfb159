// bench_search: the Search command and the ship selection over four day logs,
// against the floor of grep counting the records of the same files.
//
//   bench_search [--data DIR] [--mb-per-day M] [--repeat N]
//
// The logs are generated once into DIR/<M>mb/logs (default bench/data beside
// this file) and reused while their stamp matches. Every figure is the best of
// N runs with the files in the page cache; the process's peak resident size is
// printed last, for comparing a small run with a large one.

#include "demodata.h"
#include "headlesshost.h"
#include "timinghost.h"

#include "engine/module1.h"
#include "platform/files.h"

#ifdef VELK_BENCH_FORM1
#include "main_window/form1.h"

#include <algorithm>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#endif

#include <QApplication>
#include <QDir>
#include <QFile>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using Stamp = TimingHost::Stamp;

constexpr int kDays = 4;
const QDate kLastDay(2011, 4, 10);
const QString kFirstName = QStringLiteral("20110407");
const QString kLastName = QStringLiteral("20110410");

double seconds(const timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

Stamp now()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto wall = std::chrono::steady_clock::now().time_since_epoch();
    return {std::chrono::duration<double>(wall).count(), seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

double peakRssMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

// The best of several runs of one measured step.
struct Best
{
    double wall = std::numeric_limits<double>::infinity();
    double cpu = std::numeric_limits<double>::infinity();
    void add(double w, double c)
    {
        wall = std::min(wall, w);
        cpu = std::min(cpu, c);
    }
    void add(Stamp from, Stamp to) { add(to.wall - from.wall, to.cpu - from.cpu); }
    bool valid() const { return std::isfinite(wall); }
};

// Generates the logs in a child process, so that the generator's memory never
// counts in this process's peak.
bool ensureData(const QString &dir, double mbPerDay)
{
    const QString stampPath = dir + "/stamp";
    const QByteArray stamp = QStringLiteral("seed 1, %1 days to %2, %3 MB a day\n")
                                 .arg(kDays).arg(kLastDay.toString("yyyyMMdd")).arg(mbPerDay).toUtf8();
    QFile existing(stampPath);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == stamp)
        return true;
    existing.close();

    std::printf("generating %d day logs of %g MB in %s ...\n", kDays, mbPerDay, qPrintable(dir));
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        DemoData::Options options;
        options.end = kLastDay;
        options.days = kDays;
        options.mbPerDay = mbPerDay;
        options.pictures = false;
        QString error;
        QDir(dir + "/logs").removeRecursively();
        const bool ok = DemoData::generate(dir, options, &error) &&
                        Platform::writeFileAtomically(stampPath, stamp, &error);
        if (!ok)
            std::fprintf(stderr, "bench_search: %s\n", qPrintable(error));
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void readThrough(const QStringList &paths)
{
    std::vector<char> buffer(1 << 22);
    for (const QString &path : paths) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            while (file.read(buffer.data(), qint64(buffer.size())) > 0) {
            }
        }
    }
}

// Runs a child with LC_ALL=C and its standard output into `text`: wall time
// around the child, CPU time from the child's own usage.
bool runChild(std::vector<std::string> args, Best &best, std::string &text)
{
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (char **e = environ; *e; ++e) {
        if (std::strncmp(*e, "LC_ALL=", 7) != 0)
            envp.push_back(*e);
    }
    char cLocale[] = "LC_ALL=C";
    envp.push_back(cLocale);
    envp.push_back(nullptr);

    int out[2];
    if (pipe(out) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);

    const Stamp start = now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    text.clear();
    char chunk[4096];
    for (ssize_t n; spawned == 0 && (n = read(out[0], chunk, sizeof chunk)) > 0;)
        text.append(chunk, std::size_t(n));
    close(out[0]);
    if (spawned != 0)
        return false;
    rusage usage{};
    int status = 0;
    if (wait4(pid, &status, 0, &usage) != pid)
        return false;
    const double wall = now().wall - start.wall;
    best.add(wall, seconds(usage.ru_utime) + seconds(usage.ru_stime));
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// grep -c -F "MMSI NUMBER" over the files in the C locale, its fastest setting.
// Its output goes to a pipe: with standard output on /dev/null GNU grep stops
// at the first match.
bool runGrep(const QStringList &paths, Best &best, long long &count)
{
    std::vector<std::string> args = {"grep", "-c", "-F", "MMSI NUMBER"};
    for (const QString &path : paths)
        args.push_back(QFile::encodeName(path).toStdString());
    std::string text;
    if (!runChild(args, best, text))
        return false;
    // One "path:count" line per file.
    count = 0;
    for (const QByteArray &line : QByteArray::fromStdString(text).split('\n')) {
        const int colon = line.lastIndexOf(':');
        if (colon >= 0)
            count += line.mid(colon + 1).toLongLong();
    }
    return true;
}

// The command-line tool's Search with the same criteria, a process of its own.
bool runVelkaisLog(const QString &logs, Best &best, int &ships)
{
    std::string text;
    if (!runChild({VELKAIS_LOG, "search", "--logs", QFile::encodeName(logs).toStdString(), "--from",
                   kFirstName.toStdString(), "--to", kLastName.toStdString(), "--area", "33.9683,130.9747,0.02"},
                  best, text))
        return false;
    ships = int(std::count(text.begin(), text.end(), '\n'));
    return true;
}

// The criteria of the benchmark: no MMSI, area C only, the default areas.
Module1::Criteria areaC()
{
    Module1::Criteria c;
    c.areaOn = {false, false, true};
    c.latitude = {33.7761, 33.8714, 33.9683};
    c.longitude = {131.0082, 130.9956, 130.9747};
    c.range = {0.002, 0.002, 0.02};
    return c;
}

struct Split
{
    Best total, search, selection;
    int ships = 0, files = 0;
    bool split = true;

    void add(Stamp start, const TimingHost &timing, Stamp end)
    {
        total.add(start, end);
        if (timing.selectStart.wall < 0) {
            split = false;
            return;
        }
        search.add(start, timing.selectStart);
        selection.add(timing.selectStart, timing.selectEnd);
    }
};

// One command run through a timing host, the host installed for it alone:
// the engine's host is module-wide, and the two runners take turns.
struct Runner
{
    TimingHost timing;
    Split result;
    std::function<void()> command;

    void runOnce()
    {
        Module1::setHost(&timing);
        timing.reset();
        const Stamp start = now();
        command();
        result.add(start, timing, now());
    }
};

#ifdef VELK_BENCH_FORM1
// The real window as a user drives it: criteria typed in, Search clicked.
void enterCriteria(Form1 &form)
{
    form.Text1[7]->setText(kFirstName);
    form.Text1[8]->setText(kLastName);
    form.Text1[0]->clear();
    const char *const areaFields[9] = {"33.7761", "131.0082", "0.002", "33.8714", "130.9956",
                                       "0.002",   "33.9683",  "130.9747", "0.02"};
    const int areaIndex[9] = {4, 5, 6, 9, 10, 11, 12, 13, 14};
    for (int k = 0; k < 9; ++k)
        form.Text1[std::size_t(areaIndex[k])]->setText(areaFields[k]);
    for (int k = 0; k < 3; ++k)
        form.Check1[std::size_t(k)]->setChecked(k == 2);
}
#endif

void row(const char *name, const Best &b, double megabytes, const Best &grep)
{
    if (!b.valid())
        return;
    std::printf("  %-28s %8.3f %8.3f %9.1f %8.2f %8.2f\n", name, b.wall, b.cpu, megabytes / b.wall,
                b.wall / grep.wall, b.cpu / grep.cpu);
}

// Other work on the machine stretches wall times; CPU times stay put.
QByteArray loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().split(' ').value(0) : QByteArray("?");
}

// The target is on wall time, what the user waits for.
bool check(const char *name, const Best &b, const Best &grep, double target = 2.5)
{
    if (!b.valid())
        return true;
    const double ratio = b.wall / grep.wall;
    const bool ok = ratio <= target;
    std::printf("  %-28s %5.2f x grep (cpu %4.2f x)   %s %.1f x\n", name, ratio, b.cpu / grep.cpu,
                ok ? "within" : "OVER", target);
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QString dataRoot = QStringLiteral(VELK_BENCH_DATA);
    double mbPerDay = 100;
    int repeat = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const QByteArray option = argv[i];
        if (option == "--data")
            dataRoot = QString::fromLocal8Bit(argv[i + 1]);
        else if (option == "--mb-per-day")
            mbPerDay = std::atof(argv[i + 1]);
        else if (option == "--repeat")
            repeat = std::max(1, std::atoi(argv[i + 1]));
    }
    if ((argc - 1) % 2 != 0 || mbPerDay <= 0) {
        std::fprintf(stderr, "usage: bench_search [--data DIR] [--mb-per-day M] [--repeat N]\n");
        return 2;
    }
    const QString dir = QDir(dataRoot).absoluteFilePath(QStringLiteral("%1mb").arg(mbPerDay));
    if (!QDir().mkpath(dir + "/work") || !ensureData(dir, mbPerDay))
        return 1;

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The program runs in work/ and finds the logs as ../logs/.
    QDir::setCurrent(dir + "/work");

    QStringList paths;
    qint64 bytes = 0;
    for (const QString &name : Platform::listFiles(dir + "/logs", Module1::kLogSuffix)) {
        paths.append(dir + "/logs/" + name);
        bytes += QFileInfo(paths.last()).size();
    }
    if (paths.size() != kDays) {
        std::fprintf(stderr, "bench_search: expected %d logs in %s/logs\n", kDays, qPrintable(dir));
        return 1;
    }
    const double megabytes = double(bytes) / 1e6;
    readThrough(paths);
    const QByteArray load = loadAverage();

    // Rounds of grep, the engine alone and the window, so that other work on
    // the machine falls on all three alike.
    Module1::resetState();
    HeadlessHost headless;
    headless.first = kFirstName;
    headless.last = kLastName;
    headless.given = areaC();
    Runner engine{TimingHost(headless, now), {}, [] { Module1::searchCommand(); }};
#ifdef VELK_BENCH_FORM1
    Form1 form;
    form.setExitHandler([] {});
    form.show();
    (void)QTest::qWaitForWindowExposed(&form);
    enterCriteria(form);
    Module1::Host *windowHost = Module1::host();
    // QTest's click returns when the Search command, and the ship selection it
    // ends with, have returned.
    Runner window{TimingHost(*windowHost, now), {}, [&form] { QTest::mouseClick(form.Command1, Qt::LeftButton); }};
#endif
    const double rssBefore = peakRssMb();
    Best grep;
    Best cli;
    int cliShips = 0;
    long long records = 0;
    for (int i = 0; i < repeat; ++i) {
        if (!runGrep(paths, grep, records)) {
            std::fprintf(stderr, "bench_search: grep failed\n");
            return 1;
        }
        engine.runOnce();
        if (!runVelkaisLog(dir + QStringLiteral("/logs"), cli, cliShips)) {
            std::fprintf(stderr, "bench_search: velkais-log failed\n");
            return 1;
        }
#ifdef VELK_BENCH_FORM1
        window.runOnce();
#endif
    }
    engine.result.ships = int(headless.ships.size());
    engine.result.files = int(headless.files.size());
    Split windowSplit;
#ifdef VELK_BENCH_FORM1
    windowSplit = window.result;
    windowSplit.ships = form.List1->count();
    windowSplit.files = form.List2->count();
    Module1::setHost(windowHost);
#else
    Module1::setHost(nullptr);
#endif
    const double rssAfter = peakRssMb();

    std::printf("\n%d day logs, %.1f MB, %lld records, in %s\n", kDays, megabytes, records, qPrintable(dir));
    std::printf("criteria: no MMSI, area C only, period %s to %s; best of %d runs, warm page cache;\n"
                "load average %s on %ld cores; x wall, x cpu: times grep's\n\n",
                qPrintable(kFirstName), qPrintable(kLastName), repeat, load.constData(),
                sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("  %-28s %8s %8s %9s %8s %8s\n", "", "wall s", "cpu s", "MB/s", "x wall", "x cpu");
    row("grep -c -F \"MMSI NUMBER\"", grep, megabytes, grep);
    row("engine: Search pass", engine.result.search, megabytes, grep);
    row("engine: ship selection", engine.result.selection, megabytes, grep);
    row("engine: both (searchCommand)", engine.result.total, megabytes, grep);
    row("velkais-log search", cli, megabytes, grep);
#ifdef VELK_BENCH_FORM1
    row("Form1: Search pass", windowSplit.search, megabytes, grep);
    row("Form1: ship selection", windowSplit.selection, megabytes, grep);
    row("Form1: click on Command1", windowSplit.total, megabytes, grep);
    std::printf("\nships listed: engine %d, Form1 %d, velkais-log %d; files of the first ship: engine %d, Form1 %d\n",
                engine.result.ships, windowSplit.ships, cliShips, engine.result.files, windowSplit.files);
    if (!windowSplit.split)
        std::printf("Form1 never selected a ship through the engine's host: only the whole click is timed\n");
#else
    std::printf("\n(Form1 not built: the window's figures are missing)\nships listed: %d; files of the first ship: %d\n",
                engine.result.ships, engine.result.files);
#endif
    std::printf("\ntargets (wall time, each pass on its own):\n");
    bool ok = check("engine: Search pass", engine.result.search, grep);
    ok = check("engine: ship selection", engine.result.selection, grep) && ok;
    ok = check("Form1: Search pass", windowSplit.search, grep) && ok;
    ok = check("Form1: ship selection", windowSplit.selection, grep) && ok;
    ok = check("velkais-log search", cli, grep, 2.0) && ok;
    std::printf("\npeak RSS: %.1f MB (%.1f MB before the first pass)\n", rssAfter, rssBefore);
    return ok ? 0 : 3;
}

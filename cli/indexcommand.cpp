#include "indexcommand.h"

#include "clihost.h"
#include "engine/module1.h"
#include "index/sqlitedayindex.h"
#include "platform/files.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace {

using Outcome = Index::SqliteDayIndex::Outcome;

const QString kMode = QStringLiteral("List1"); // with no ship selected nothing is listed

// What became of one file, as a worker reports it: one letter.
enum class Result : char {
    Stored = 's',
    Current = 'c',
    Today = 't',
    Recent = 'r',     // changed within the last seconds or while it was read
    Unreadable = 'u',
    NotStored = 'n',  // the database did not take it
    Unsummarised = 'x', // a first line too long for a summary to stand in for it
};

struct FileResult
{
    Result result = Result::NotStored;
    qint64 size = 0;
    QString reason; // why it could not be read
};

// Reads one file for its summary, from an empty record as if it were the only one.
FileResult summarise(const QString &folder, const QString &name, Index::SqliteDayIndex &index)
{
    Module1::resetState();
    Module1::readLogFile(name, kMode);
    FileResult r;
    r.size = QFileInfo(folder + name).size();
    if (!Module1::passReport.skipped.empty()) {
        r.result = Result::Unreadable;
        r.reason = Module1::passReport.skipped.back().reason;
        return r;
    }
    switch (index.lastOutcome()) {
    case Outcome::Stored: r.result = Result::Stored; break;
    case Outcome::Current: r.result = Result::Current; break;
    case Outcome::CurrentDay: r.result = Result::Today; break;
    case Outcome::Unsettled: r.result = Result::Recent; break;
    case Outcome::Pending: r.result = Result::Unsummarised; break;
    default: r.result = Result::NotStored; break;
    }
    return r;
}

// "12 MB", "340 KB": three figures at most.
QString sizeText(qint64 bytes)
{
    static const char *const units[] = {"bytes", "KB", "MB", "GB", "TB"};
    double v = double(bytes);
    int u = 0;
    while (v >= 999.5 && u < 4) {
        v /= 1000;
        ++u;
    }
    return u == 0 ? QStringLiteral("%1 %2").arg(bytes).arg(QLatin1String(bytes == 1 ? "byte" : "bytes"))
                  : QStringLiteral("%1 %2").arg(v < 9.95 ? QString::number(v, 'f', 1) : QString::number(v, 'f', 0),
                                                QLatin1String(units[u]));
}

QString count(qint64 n, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

class Progress
{
public:
    Progress(int total) : m_total(total), m_enabled(stderrIsTerminal()) { m_clock.start(); }
    ~Progress() { clear(); }
    // Before anything else is printed: the line is rewritten in place.
    void clear()
    {
        if (m_shown)
            std::fputs("\r\033[K", stderr);
        m_shown = false;
    }
    void fileDone(qint64 bytes)
    {
        ++m_done;
        m_bytes += bytes;
        if (!m_enabled || m_clock.elapsed() < 500)
            return;
        std::fprintf(stderr, "\r\033[Kindexing: file %d of %d, %.0f MB/s", m_done, m_total,
                     double(m_bytes) / 1e6 / (double(m_clock.elapsed()) / 1000.0));
        std::fflush(stderr);
        m_shown = true;
    }
    double seconds() const { return double(m_clock.elapsed()) / 1000.0; }

private:
    int m_total;
    bool m_enabled;
    bool m_shown = false;
    int m_done = 0;
    qint64 m_bytes = 0;
    QElapsedTimer m_clock;
};

// Runs `jobs` worker processes over the names, dealt out in turn. Names go to
// a worker NUL-terminated, as any file name may hold a line feed; each worker
// answers with one NUL-terminated record per file, in the order given:
// "<result letter> <size> <reason>". `done` is called per file as it comes.
void runWorkers(const IndexRun &run, const QStringList &names,
                const std::function<void(qsizetype, const FileResult &)> &done)
{
    struct Worker
    {
        std::unique_ptr<QProcess> process;
        QByteArray pending;
        qsizetype next; // index in `names` of the next file it reports
    };
    std::vector<Worker> workers;
    QStringList args = {QStringLiteral("index"), QStringLiteral("--logs"), run.folder, QStringLiteral("--worker"),
                        QStringLiteral("-")};
    if (!run.indexDir.isEmpty())
        args << QStringLiteral("--index-dir") << run.indexDir;
    for (int k = 0; k < run.jobs && k < names.size(); ++k) {
        QByteArray input;
        for (qsizetype i = k; i < names.size(); i += run.jobs)
            input += names[i].toUtf8() + '\0';
        auto p = std::make_unique<QProcess>();
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QCoreApplication::applicationFilePath(), args);
        p->write(input);
        p->closeWriteChannel();
        workers.push_back({std::move(p), {}, k});
    }
    const auto take = [&](Worker &w) {
        w.pending += w.process->readAllStandardOutput();
        for (qsizetype end; (end = w.pending.indexOf('\0')) >= 0;) {
            const QByteArray record = w.pending.left(end);
            w.pending.remove(0, end + 1);
            FileResult r;
            r.result = record.isEmpty() ? Result::NotStored : Result(record[0]);
            const QList<QByteArray> parts = record.mid(2).split(' ');
            r.size = parts.value(0).toLongLong();
            r.reason = QString::fromUtf8(record.mid(2 + parts.value(0).size() + 1));
            if (w.next < names.size())
                done(w.next, r);
            w.next += run.jobs;
        }
    };
    for (bool running = true; running;) {
        running = false;
        for (Worker &w : workers) {
            if (w.process->state() != QProcess::NotRunning) {
                w.process->waitForReadyRead(20);
                running = true;
            }
            take(w);
        }
    }
    // A worker that ended early leaves its other files without a summary.
    for (Worker &w : workers) {
        take(w);
        for (; w.next < names.size(); w.next += run.jobs)
            done(w.next, FileResult{});
    }
}

} // namespace

int indexCommand(const IndexRun &run, Index::SqliteDayIndex &index, CliHost &host)
{
    // The reasons the index cannot be used are this command's to tell, once,
    // and the files it could not read too, after the progress line is gone.
    index.setWarnings(false);
    const bool quiet = host.quiet;
    host.quiet = true;

    if (run.worker) {
        QFile in;
        in.open(stdin, QIODevice::ReadOnly);
        for (const QByteArray &name : in.readAll().split('\0')) {
            if (name.isEmpty())
                continue;
            const FileResult r = summarise(run.folder, QString::fromUtf8(name), index);
            const QByteArray record = QByteArray(1, char(r.result)) + ' ' + QByteArray::number(r.size) + ' ' +
                                      r.reason.toUtf8() + '\0';
            std::fwrite(record.constData(), 1, size_t(record.size()), stdout);
            std::fflush(stdout);
        }
        return 0;
    }

    // What is left to do: the files of the period the index does not hold.
    // Today's log would only be read in vain: it is never summarised.
    QStringList todo;
    std::map<Result, qint64> counts;
    for (const QString &name : Platform::listFiles(run.folder, Module1::kLogSuffix)) {
        const QString date = name.left(8);
        if (date < run.from || (!run.to.isEmpty() && run.to < date))
            continue;
        if (Index::SqliteDayIndex::isCurrentDay(name))
            ++counts[Result::Today];
        else if (index.isCurrent(run.folder, name))
            ++counts[Result::Current];
        else
            todo << name;
    }

    // A cache that cannot take a summary would have every file read in vain.
    if (!todo.isEmpty()) {
        if (const QString problem = index.writeProblem(run.folder); !problem.isEmpty()) {
            std::fprintf(stderr, "velkais-log: cannot store the day index in %s: %s\n",
                         index.cacheFolder().toUtf8().constData(), problem.toUtf8().constData());
            return 1;
        }
    }

    Progress progress(int(todo.size()));
    qint64 storedBytes = 0;
    const auto done = [&](qsizetype i, const FileResult &r) {
        ++counts[r.result];
        if (r.result == Result::Stored)
            storedBytes += r.size;
        if (r.result == Result::Unreadable && !quiet) {
            progress.clear();
            std::fprintf(stderr, "velkais-log: %s\n",
                         Module1::skippedFileText(run.folder + todo[i], r.reason).toUtf8().constData());
        }
        progress.fileDone(r.size);
    };
    if (run.jobs <= 1 || todo.size() <= 1) {
        for (qsizetype i = 0; i < todo.size(); ++i)
            done(i, summarise(run.folder, todo[i], index));
    } else {
        runWorkers(run, todo, done);
    }
    const double seconds = progress.seconds();
    progress.clear();

    if (!quiet) {
        QStringList parts;
        const qint64 stored = counts[Result::Stored];
        parts << count(stored, "file stored", "files stored");
        if (stored)
            parts.last() += QStringLiteral(" (%1 in %2 s)").arg(sizeText(storedBytes)).arg(seconds, 0, 'f', 1);
        if (const qint64 n = counts[Result::Current])
            parts << QStringLiteral("%1 already current").arg(n);
        if (const qint64 n = counts[Result::Today])
            parts << count(n, "today's log", "logs of today or later");
        if (const qint64 n = counts[Result::Recent])
            parts << QStringLiteral("%1 changed too recently").arg(n);
        if (const qint64 n = counts[Result::Unsummarised])
            parts << QStringLiteral("%1 cannot be summarised").arg(n);
        if (const qint64 n = counts[Result::NotStored])
            parts << QStringLiteral("%1 could not be stored").arg(n);
        if (const qint64 n = counts[Result::Unreadable])
            parts << QStringLiteral("%1 could not be read").arg(n);
        std::printf("%s\n", parts.join(QStringLiteral(", ")).toUtf8().constData());
        std::fflush(stdout);
    }
    // Problems on standard error also with --quiet, as the other commands do.
    if (const qint64 n = counts[Result::Unreadable])
        std::fprintf(stderr, "velkais-log: %s could not be read\n",
                     count(n, "log file", "log files").toUtf8().constData());
    if (const qint64 n = counts[Result::NotStored]) {
        QString problem = index.writeProblem(run.folder);
        if (problem.isEmpty())
            problem = QStringLiteral("the database was busy or failed; run the command again");
        std::fprintf(stderr, "velkais-log: %s not stored in the day index in %s: %s\n",
                     count(n, "summary", "summaries").toUtf8().constData(), index.cacheFolder().toUtf8().constData(),
                     problem.toUtf8().constData());
    }
    return counts[Result::Unreadable] || counts[Result::NotStored] ? 1 : 0;
}

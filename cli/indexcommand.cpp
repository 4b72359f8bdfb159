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
#include <memory>
#include <vector>

namespace {

const QString kMode = QStringLiteral("List1"); // with no ship selected nothing is listed

// Reads one file for its summary, from an empty record as if it were the only one.
void summarise(const QString &name)
{
    Module1::resetState();
    Module1::readLogFile(name, kMode);
}

class Progress
{
public:
    Progress(int total) : m_total(total), m_enabled(stderrIsTerminal()) { m_clock.start(); }
    ~Progress()
    {
        if (m_shown)
            std::fputs("\r\033[K", stderr);
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
    qint64 bytes() const { return m_bytes; }

private:
    int m_total;
    bool m_enabled;
    bool m_shown = false;
    int m_done = 0;
    qint64 m_bytes = 0;
    QElapsedTimer m_clock;
};

// Runs `jobs` worker processes over the names, dealt out in turn; true when
// every worker ended well.
bool runWorkers(const IndexRun &run, const QStringList &names, Progress &progress)
{
    std::vector<std::unique_ptr<QProcess>> workers;
    QStringList args = {QStringLiteral("index"), QStringLiteral("--logs"), run.folder, QStringLiteral("--worker"),
                        QStringLiteral("-")};
    if (!run.indexDir.isEmpty())
        args << QStringLiteral("--index-dir") << run.indexDir;
    for (int k = 0; k < run.jobs; ++k) {
        QByteArray input;
        for (qsizetype i = k; i < names.size(); i += run.jobs)
            input += names[i].toUtf8() + '\n';
        auto p = std::make_unique<QProcess>();
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QCoreApplication::applicationFilePath(), args);
        p->write(input);
        p->closeWriteChannel();
        workers.push_back(std::move(p));
    }
    // Every worker prints the size of each file it has read.
    bool ok = true;
    for (bool running = true; running;) {
        running = false;
        for (auto &p : workers) {
            if (p->state() != QProcess::NotRunning) {
                p->waitForReadyRead(20);
                running = true;
            }
            while (p->canReadLine())
                progress.fileDone(p->readLine().trimmed().toLongLong());
        }
    }
    for (auto &p : workers)
        ok = ok && p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0;
    return ok;
}

} // namespace

int indexCommand(const IndexRun &run, Index::SqliteDayIndex &index, CliHost &host)
{
    if (run.worker) {
        QFile in;
        in.open(stdin, QIODevice::ReadOnly);
        for (const QByteArray &line : in.readAll().split('\n')) {
            if (line.isEmpty())
                continue;
            const QString name = QString::fromUtf8(line);
            summarise(name);
            std::printf("%lld\n", static_cast<long long>(QFileInfo(run.folder + name).size()));
            std::fflush(stdout);
        }
        return host.fileSkipped ? 1 : 0;
    }

    // What is left to do: the files of the period the index does not hold.
    // Today's log would only be read in vain: it is never summarised.
    QStringList todo;
    int current = 0;
    for (const QString &name : Platform::listFiles(run.folder, Module1::kLogSuffix)) {
        const QString date = name.left(8);
        if (date < run.from || (!run.to.isEmpty() && run.to < date) ||
            Index::SqliteDayIndex::isCurrentDay(name))
            continue;
        if (index.isCurrent(run.folder, name))
            ++current;
        else
            todo << name;
    }

    bool ok = true;
    Progress progress(int(todo.size()));
    if (run.jobs <= 1 || todo.size() <= 1) {
        for (const QString &name : todo) {
            summarise(name);
            progress.fileDone(QFileInfo(run.folder + name).size());
        }
        ok = !host.fileSkipped;
    } else {
        ok = runWorkers(run, todo, progress);
    }
    const double seconds = progress.seconds();
    const qint64 bytes = progress.bytes();
    std::printf("indexed %lld files (%.0f MB) in %.1f s, %d already indexed\n", static_cast<long long>(todo.size()),
                double(bytes) / 1e6, seconds, current);
    return ok ? 0 : 1;
}

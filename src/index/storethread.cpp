#include "index/storethread.h"
#include "index/summarycodec.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <atomic>
#include <cstdio>
#include <optional>

namespace Index {

namespace {

constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteReadOnly = 8;
constexpr int kSqliteIoError = 10;
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteFull = 13;
constexpr int kSqliteCantOpen = 14;
constexpr int kSqliteNotADatabase = 26;
// After a failed write (locked, read-only, a full disk) the database is left
// alone this long rather than failing once per file.
constexpr int kRetryAfterMs = 30000;

std::atomic<int> g_connections{0};

} // namespace

QString plainReason(int code, const QString &error, const QString &path)
{
    const QFileInfo file(path);
    const QFileInfo folder(file.absolutePath());
    switch (code) {
    case kSqliteBusy:
    case kSqliteLocked:
        return QStringLiteral("the database is in use by another program");
    case kSqliteReadOnly:
    case kSqliteCantOpen:
        if (!folder.isWritable())
            return QStringLiteral("no permission to write in the folder");
        if (file.exists() && !file.isWritable())
            return QStringLiteral("no permission to write the database file %1").arg(file.fileName());
        return code == kSqliteReadOnly ? QStringLiteral("the database is read-only")
                                       : QStringLiteral("the database file cannot be opened");
    case kSqliteFull:
        return QStringLiteral("the disk is full");
    case kSqliteIoError:
        return QStringLiteral("the disk reported an error");
    case kSqliteCorrupt:
    case kSqliteNotADatabase:
        return QStringLiteral("the database is damaged");
    default:
        return error;
    }
}

int primaryCode(const QSqlError &e)
{
    bool ok = false;
    const int code = e.nativeErrorCode().toInt(&ok);
    return ok ? code & 0xff : -1;
}

bool prepareInsert(QSqlQuery &q)
{
    return q.prepare(QStringLiteral("INSERT OR REPLACE INTO days (name, size, modified, changed, inode, device, "
                                    "summary) VALUES (?, ?, ?, ?, ?, ?, ?)"));
}

void bindRow(QSqlQuery &q, const QString &fileName, const FileIdentity &identity, const QByteArray &summary)
{
    q.addBindValue(fileName);
    q.addBindValue(qlonglong(identity.size));
    q.addBindValue(qlonglong(identity.modifiedNs));
    q.addBindValue(qlonglong(identity.changedNs));
    q.addBindValue(qlonglong(identity.inode));
    q.addBindValue(qlonglong(identity.device));
    q.addBindValue(summary);
}

void IndexWarnings::setEnabled(bool on)
{
    std::lock_guard lock(m_mutex);
    m_enabled = on;
}

void IndexWarnings::line(const QString &text) const
{
    std::lock_guard lock(m_mutex);
    if (!m_enabled)
        return;
    std::fprintf(stderr, "%s: %s\n", QCoreApplication::applicationName().toLocal8Bit().constData(),
                 text.toLocal8Bit().constData());
    std::fflush(stderr);
}

void IndexWarnings::once(const QString &database, const QString &text)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_warned.contains(database))
            return;
        m_warned.insert(database);
    }
    line(text);
}

struct StoreThread::Connection
{
    QString name;
    bool opened = false;
    std::optional<QDeadlineTimer> unavailable;
    std::unique_ptr<QSqlQuery> insert;
};

StoreThread::StoreThread(int busyTimeoutMs, std::shared_ptr<IndexWarnings> warnings)
    : m_busyTimeoutMs(busyTimeoutMs), m_warnings(std::move(warnings))
{
}

StoreThread::~StoreThread()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void StoreThread::add(Job job)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
    m_changed.notify_all();
}

void StoreThread::flush()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_jobs.empty() && !m_busy; });
}

void StoreThread::release(const QString &database)
{
    if (!m_thread.joinable())
        return;
    add({database, QString(), {}, {}});
    flush();
}

void StoreThread::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        // What was handed over is stored before the thread ends.
        m_changed.wait(lock, [this] { return m_quit || !m_jobs.empty(); });
        if (m_jobs.empty())
            break;
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_busy = true;
        lock.unlock();
        write(job);
        lock.lock();
        m_busy = false;
        m_changed.notify_all();
    }
    lock.unlock();
    // Connections belong to the thread that made them.
    for (auto &[database, c] : m_connections)
        close(*c);
}

void StoreThread::write(const Job &job)
{
    if (job.fileName.isEmpty()) {
        const auto it = m_connections.find(job.database);
        if (it != m_connections.end()) {
            close(*it->second);
            m_connections.erase(it);
        }
        return;
    }
    Connection *c = connection(job.database);
    if (!c)
        return;
    QSqlQuery &q = *c->insert;
    bindRow(q, job.fileName, job.identity, job.raw ? encodeSummary(*job.raw) : job.summary);
    if (!q.exec()) {
        const QSqlError e = q.lastError();
        q.finish();
        m_warnings->once(job.database, QStringLiteral("cannot write the day index %1 (%2); log files are read instead")
                                           .arg(job.database, plainReason(primaryCode(e), e.text(), job.database)));
        close(*c);
        c->unavailable = QDeadlineTimer(kRetryAfterMs);
        return;
    }
    q.finish();
}

StoreThread::Connection *StoreThread::connection(const QString &database)
{
    auto &slot = m_connections[database];
    if (!slot)
        slot = std::make_unique<Connection>();
    Connection &c = *slot;
    if (c.opened)
        return &c;
    if (c.unavailable && !c.unavailable->hasExpired())
        return nullptr;
    c.unavailable.reset();
    c.name = QStringLiteral("velk-day-index-store-%1").arg(g_connections.fetch_add(1));
    QSqlError error;
    {
        QSqlDatabase sql = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), c.name);
        sql.setDatabaseName(database);
        sql.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(m_busyTimeoutMs));
        // The lookup before made the database and its table. A commit to the
        // write-ahead log waits for no flush to the disk (checkpoints flush).
        // Checkpoints come every 256 pages rather than SQLite's 1000, here on
        // this thread while the reader reads on: the one when the last
        // connection closes, which the user waits for, then copies at most a
        // megabyte rather than four.
        c.insert = std::make_unique<QSqlQuery>(sql);
        if (!sql.open())
            error = sql.lastError();
        else if (!c.insert->exec(QStringLiteral("PRAGMA synchronous=NORMAL")) ||
                 !c.insert->exec(QStringLiteral("PRAGMA wal_autocheckpoint=256")) ||
                 !prepareInsert(*c.insert))
            error = c.insert->lastError();
    }
    if (error.type() != QSqlError::NoError) {
        m_warnings->once(database, QStringLiteral("cannot write the day index %1 (%2); log files are read instead")
                                       .arg(database, plainReason(primaryCode(error), error.text(), database)));
        close(c);
        c.unavailable = QDeadlineTimer(kRetryAfterMs);
        return nullptr;
    }
    c.opened = true;
    return &c;
}

void StoreThread::close(Connection &c)
{
    c.insert.reset();
    if (!c.name.isEmpty() && QSqlDatabase::contains(c.name)) {
        QSqlDatabase::database(c.name, false).close();
        QSqlDatabase::removeDatabase(c.name);
    }
    c.opened = false;
}

} // namespace Index

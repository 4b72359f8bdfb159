#include "index/sqlitedayindex.h"

#include "engine/text.h"
#include "index/storethread.h"
#include "index/summarycodec.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDate>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <atomic>
#include <cstdio>
#include <optional>

namespace Index {

using Module1::DaySummary;

namespace {

constexpr int kFormat = 1; // PRAGMA user_version of the layout below
constexpr int kRetryAfterMs = 30000;
// A file modified or changed this recently may still change within its time
// stamps' resolution (whole seconds on FAT, exFAT, ext4 with small inodes and
// some network mounts, two seconds on FAT): a rewrite in place that puts the
// modification time back would keep every part of its identity. Its summary
// could not be trusted.
constexpr std::int64_t kSettleNs = 2000000000;

// SQLite's primary result codes that mean the file is not a sound database.
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADatabase = 26;

std::atomic<int> g_connections{0};

} // namespace

struct SqliteDayIndex::Database
{
    QString path;
    QString connection;
    bool opened = false;
    bool corrupt = false;            // replace it at the next write
    QString problem;                 // the last failure in plain words
    std::optional<QDeadlineTimer> unavailable; // locked, read-only, unreadable: try again later
    std::unique_ptr<QSqlQuery> select, insert;
};

bool SqliteDayIndex::isCurrentDay(const QString &fileName)
{
    return Module1::leftChars(fileName, 8) >= QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
}

SqliteDayIndex::SqliteDayIndex(const QString &cacheFolder)
    : m_cacheFolder(cacheFolder.isEmpty() ? defaultCacheFolder() : cacheFolder),
      m_warnings(std::make_shared<IndexWarnings>())
{
}

SqliteDayIndex::~SqliteDayIndex()
{
    // The summaries handed over are written before the connections close.
    m_writer.reset();
    for (auto &[path, db] : m_databases)
        close(*db);
}

QString SqliteDayIndex::defaultCacheFolder()
{
    // One setting for the window's menu entry, the user's shell and a cron
    // job alike (environment.d, a crontab's variable line), so that they
    // share one index without each being given --index-dir.
    const QString shared = qEnvironmentVariable("VELKAIS_INDEX_DIR");
    if (!shared.isEmpty())
        return shared;
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/velkais-log-browser");
}

QString SqliteDayIndex::databasePath(const QString &logFolder) const
{
    QString canonical = QFileInfo(logFolder).canonicalFilePath();
    if (canonical.isEmpty())
        canonical = QFileInfo(logFolder).absoluteFilePath();
    const QByteArray hash = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    QString base = QFileInfo(canonical).fileName();
    for (QChar &c : base) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('-') && c != QLatin1Char('_'))
            c = QLatin1Char('_');
    }
    return m_cacheFolder + QLatin1Char('/') + base.left(40) + QLatin1Char('-') + QString::fromLatin1(hash) +
           QStringLiteral(".sqlite");
}

SqliteDayIndex::Database *SqliteDayIndex::database(const QString &folder)
{
    if (m_cacheFolderFailed)
        return nullptr;
    // Asked for every file twice (lookup and store): resolving the folder's
    // links each time costs a system call per path component.
    auto known = m_pathByFolder.constFind(folder);
    if (known == m_pathByFolder.cend())
        known = m_pathByFolder.insert(folder, databasePath(folder));
    const QString &path = known.value();
    auto it = m_databases.find(path);
    if (it == m_databases.end()) {
        if (!QDir().mkpath(m_cacheFolder)) {
            m_cacheFolderFailed = true;
            warn(QStringLiteral("cannot create the index folder %1 (%2); every log file is read")
                     .arg(m_cacheFolder, folderProblem()));
            return nullptr;
        }
        auto db = std::make_unique<Database>();
        db->path = path;
        db->connection = QStringLiteral("velk-day-index-%1").arg(g_connections.fetch_add(1));
        it = m_databases.emplace(path, std::move(db)).first;
    }
    Database &db = *it->second;
    if (db.unavailable) {
        if (!db.unavailable->hasExpired())
            return nullptr;
        db.unavailable.reset();
    }
    if (!db.opened && !db.corrupt && !open(db))
        return db.corrupt ? &db : nullptr;
    return &db;
}

bool SqliteDayIndex::open(Database &db)
{
    // The connection's handles must be gone before fail() removes it.
    QString what, error;
    int code = -1;
    const auto failed = [&](const QString &w, const QSqlError &e) {
        what = w;
        error = e.text();
        code = primaryCode(e);
        return false;
    };
    const bool ok = [&] {
        QSqlDatabase sql = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), db.connection);
        sql.setDatabaseName(db.path);
        sql.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(m_busyTimeoutMs));
        if (!sql.open())
            return failed(QStringLiteral("cannot open"), sql.lastError());
        QSqlQuery q(sql);
        const auto run = [&](const QString &statement) {
            return q.exec(statement) || failed(QStringLiteral("cannot use"), q.lastError());
        };
        // Making a new database (the switch to the write-ahead log, the table)
        // would otherwise wait for six flushes to the disk, a good part of a
        // first pass: unflushed, a crash leaves at worst a damaged empty
        // database, which is replaced like any other. The summaries themselves
        // are written with the usual care.
        if (!run(QStringLiteral("PRAGMA synchronous=OFF")) || !run(QStringLiteral("PRAGMA journal_mode=WAL")) ||
            !run(QStringLiteral("PRAGMA user_version")))
            return false;
        const int version = q.next() ? q.value(0).toInt() : -1;
        if (version != 0 && version != kFormat) {
            // Another layout: as good as damaged.
            what = QStringLiteral("cannot use");
            error = QStringLiteral("unknown layout %1").arg(version);
            code = kSqliteCorrupt;
            return false;
        }
        if (!run(QStringLiteral("CREATE TABLE IF NOT EXISTS days (name TEXT PRIMARY KEY, size INTEGER NOT NULL, "
                                "modified INTEGER NOT NULL, changed INTEGER NOT NULL, inode INTEGER NOT NULL, "
                                "device INTEGER NOT NULL, summary BLOB NOT NULL)")) ||
            (version == 0 && !run(QStringLiteral("PRAGMA user_version=%1").arg(kFormat))) ||
            !run(QStringLiteral("PRAGMA synchronous=NORMAL")))
            return false;
        db.select = std::make_unique<QSqlQuery>(sql);
        db.insert = std::make_unique<QSqlQuery>(sql);
        if (!db.select->prepare(QStringLiteral("SELECT size, modified, changed, inode, device, summary FROM days "
                                               "WHERE name = ?")))
            return failed(QStringLiteral("cannot use"), db.select->lastError());
        if (!prepareInsert(*db.insert))
            return failed(QStringLiteral("cannot use"), db.insert->lastError());
        return true;
    }();
    if (!ok) {
        fail(db, what, error, code);
        return false;
    }
    db.opened = true;
    return true;
}

void SqliteDayIndex::close(Database &db)
{
    db.select.reset();
    db.insert.reset();
    if (QSqlDatabase::contains(db.connection)) {
        QSqlDatabase::database(db.connection, false).close();
        QSqlDatabase::removeDatabase(db.connection);
    }
    db.opened = false;
}

void SqliteDayIndex::warn(const QString &line) const
{
    m_warnings->line(line);
}

void SqliteDayIndex::setWarnings(bool on)
{
    m_warnings->setEnabled(on);
}

// Why the cache folder cannot be made: the nearest existing folder above it
// is a file, or not writable.
QString SqliteDayIndex::folderProblem() const
{
    QFileInfo above(m_cacheFolder);
    while (!above.exists() && !above.isRoot() && above.absoluteFilePath() != above.absolutePath())
        above = QFileInfo(above.absolutePath());
    if (above.exists() && !above.isDir())
        return QStringLiteral("%1 is a file, not a folder").arg(above.absoluteFilePath());
    if (above.isDir() && !above.isWritable())
        return QStringLiteral("no permission to write in %1").arg(above.absoluteFilePath());
    return QStringLiteral("the folder cannot be created");
}

void SqliteDayIndex::fail(Database &db, const QString &what, const QString &error, int code)
{
    db.problem = plainReason(code, error, db.path);
    m_warnings->once(db.path,
                     QStringLiteral("%1 the day index %2 (%3); log files are read instead").arg(what, db.path, db.problem));
    close(db);
    if (code == kSqliteCorrupt || code == kSqliteNotADatabase)
        db.corrupt = true;
    else
        db.unavailable = QDeadlineTimer(kRetryAfterMs);
}

// A damaged database goes, with its write-ahead log, and a new one takes its place.
void SqliteDayIndex::replace(Database &db)
{
    if (m_writer)
        m_writer->release(db.path);
    close(db);
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(db.path + QLatin1String(suffix));
    db.corrupt = false;
    if (!open(db) && db.corrupt)
        db.unavailable = QDeadlineTimer(kRetryAfterMs); // still damaged after removal: leave it be for now
}

bool SqliteDayIndex::examine(const QString &path, FileIdentity *identity)
{
    return identify(path, identity);
}

std::int64_t SqliteDayIndex::nowNs()
{
    return QDateTime::currentMSecsSinceEpoch() * 1000000;
}

SqliteDayIndex::Lookup SqliteDayIndex::lookup(const QString &folder, const QString &fileName)
{
    Lookup out;
    m_outcome = Outcome::CurrentDay;
    if (isCurrentDay(fileName))
        return out;
    const QString path = folder + fileName;
    FileIdentity id;
    m_outcome = Outcome::Missing;
    if (!examine(path, &id))
        return out;
    m_outcome = Outcome::NotStored;
    Database *db = database(folder);
    if (!db)
        return out;
    if (db->opened) {
        QSqlQuery &q = *db->select;
        q.addBindValue(fileName);
        if (!q.exec()) {
            fail(*db, QStringLiteral("cannot read"), q.lastError().text(), primaryCode(q.lastError()));
            if (!db->corrupt)
                return out;
        } else if (q.next()) {
            const FileIdentity stored{q.value(0).toLongLong(), q.value(1).toLongLong(), q.value(2).toLongLong(),
                                      q.value(3).toLongLong(), q.value(4).toLongLong()};
            const QByteArray blob = q.value(5).toByteArray();
            q.finish();
            if (stored == id && isReadable(path)) {
                out.summary = decodeSummary(blob);
                if (out.summary) {
                    m_outcome = Outcome::Current;
                    return out;
                }
            }
        } else {
            q.finish();
        }
    }
    const std::int64_t settled = nowNs() - kSettleNs;
    out.wantSummary = id.modifiedNs < settled && id.changedNs < settled;
    m_outcome = out.wantSummary ? Outcome::Pending : Outcome::Unsettled;
    if (out.wantSummary)
        m_pending.insert(path, id);
    return out;
}

bool SqliteDayIndex::unchangedSinceLookup(const QString &path, FileIdentity *identity)
{
    const auto pending = m_pending.constFind(path);
    if (pending == m_pending.cend())
        return false;
    const FileIdentity before = pending.value();
    m_pending.erase(pending);
    m_outcome = Outcome::Unsettled;
    return examine(path, identity) && *identity == before;
}

void SqliteDayIndex::store(const QString &folder, const QString &fileName, const DaySummary &summary)
{
    FileIdentity after;
    if (!unchangedSinceLookup(folder + fileName, &after))
        return;
    m_outcome = Outcome::NotStored;
    Database *db = database(folder);
    if (!db)
        return;
    if (db->corrupt)
        replace(*db);
    if (!db->opened)
        return;
    QSqlQuery &q = *db->insert;
    bindRow(q, fileName, after, encodeSummary(summary));
    if (q.exec())
        m_outcome = Outcome::Stored;
    else
        fail(*db, QStringLiteral("cannot write"), q.lastError().text(), primaryCode(q.lastError()));
    q.finish();
}

void SqliteDayIndex::storeLater(const QString &folder, const QString &fileName, DaySummary &&summary)
{
    // Only what the usual insert would do goes to the other thread; a
    // database that is not open, or damaged and to be replaced, is the
    // business of store().
    Database *db = database(folder);
    if (!db || !db->opened || db->corrupt) {
        store(folder, fileName, summary);
        return;
    }
    FileIdentity after;
    if (!unchangedSinceLookup(folder + fileName, &after))
        return;
    m_outcome = Outcome::Pending;
    if (!m_writer)
        m_writer = std::make_unique<StoreThread>(m_busyTimeoutMs, m_warnings);
    // Encoded on the writing thread, which waits on the disk most of the
    // time: the summary builder's thread is the busier, and a first pass
    // over many ships waits on it.
    m_writer->add({db->path, fileName, after, QByteArray(),
                   std::make_shared<const Module1::DaySummary>(std::move(summary))});
}

void SqliteDayIndex::flush()
{
    if (m_writer)
        m_writer->flush();
}

QString SqliteDayIndex::writeProblem(const QString &logFolder)
{
    if (m_cacheFolderFailed || !QDir().mkpath(m_cacheFolder))
        return folderProblem();
    Database *db = database(logFolder);
    if (db && db->corrupt)
        replace(*db);
    if (!db || !db->opened) {
        if (m_cacheFolderFailed)
            return folderProblem();
        const auto it = m_databases.find(databasePath(logFolder));
        return it != m_databases.end() && !it->second->problem.isEmpty() ? it->second->problem
                                                                          : QStringLiteral("the database cannot be opened");
    }
    // A row written and taken back: the one sure test of a write.
    QSqlQuery q(QSqlDatabase::database(db->connection, false));
    QSqlError error;
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        error = q.lastError();
    else if (!q.exec(QStringLiteral("INSERT OR REPLACE INTO days VALUES ('', 0, 0, 0, 0, 0, x'')")))
        error = q.lastError();
    q.exec(QStringLiteral("ROLLBACK"));
    if (error.type() == QSqlError::NoError)
        return {};
    return plainReason(primaryCode(error), error.text(), db->path);
}

bool SqliteDayIndex::isCurrent(const QString &folder, const QString &fileName)
{
    Lookup l = lookup(folder, fileName);
    m_pending.remove(folder + fileName);
    return l.summary != nullptr;
}

} // namespace Index

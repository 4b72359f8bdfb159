#pragma once

#include "engine/dayindex.h"
#include "index/fileidentity.h"

#include <QHash>
#include <QString>

#include <map>
#include <memory>

namespace Index {

class IndexWarnings;
class StoreThread;

// The day index kept in SQLite: one database per log folder, named after the
// folder's canonical path, in a cache folder shared by the window and the
// command-line tool. SQLite's write-ahead log lets a window read while a cron
// job writes, and a crash never leaves a half-written summary.
//
// The index is only ever an accelerator: a cache folder that cannot be made, a
// database that is locked, read-only or damaged costs one line on standard
// error and leaves every file to be read. A damaged database is replaced by a
// new one at the next write.
class SqliteDayIndex : public Module1::DayIndex
{
public:
    // An empty `cacheFolder` takes defaultCacheFolder().
    explicit SqliteDayIndex(const QString &cacheFolder = QString());
    ~SqliteDayIndex() override;
    SqliteDayIndex(const SqliteDayIndex &) = delete;
    SqliteDayIndex &operator=(const SqliteDayIndex &) = delete;

    // $VELKAIS_INDEX_DIR when set, else the platform's generic cache
    // location, then "velkais-log-browser".
    static QString defaultCacheFolder();
    QString databasePath(const QString &logFolder) const;
    QString cacheFolder() const { return m_cacheFolder; }

    Lookup lookup(const QString &folder, const QString &fileName) override;
    void store(const QString &folder, const QString &fileName, const Module1::DaySummary &summary) override;
    // Hands the insert to a thread of its own, with its own connection.
    void storeLater(const QString &folder, const QString &fileName, Module1::DaySummary &&summary) override;
    void flush() override;

    // The log of today, or of a later day, is still being written: it is
    // never summarised nor answered for.
    static bool isCurrentDay(const QString &fileName);

    // True when a summary is stored for the file as it is now.
    bool isCurrent(const QString &folder, const QString &fileName);

    // How long a write waits for another writer (the window, a cron job).
    void setBusyTimeout(int milliseconds) { m_busyTimeoutMs = milliseconds; }

    // What became of the file last looked up, for a report of what was stored.
    enum class Outcome {
        None,         // not looked up yet
        Current,      // its summary is stored and holds
        CurrentDay,   // today's log, or a later day's
        Unsettled,    // changed within the last seconds, or while it was read
        Missing,      // not a file that could be examined
        Pending,      // looked up for a summary, not stored yet
        Stored,
        NotStored,    // the database could not take it
    };
    Outcome lastOutcome() const { return m_outcome; }

    // Empty when summaries of the folder's logs can be written now; otherwise
    // why not, in plain words. Writes nothing.
    QString writeProblem(const QString &logFolder);

    // No line on standard error when the index cannot be used: for a caller
    // that reports it in its own words.
    void setWarnings(bool on);

protected:
    // The identity of a file and the time now, in nanoseconds since the
    // epoch; the tests stand in a file system of whole-second time stamps.
    virtual bool examine(const QString &path, FileIdentity *identity);
    virtual std::int64_t nowNs();

private:
    struct Database;
    Database *database(const QString &folder);
    bool open(Database &db);
    void close(Database &db);
    void fail(Database &db, const QString &what, const QString &error, int code);
    void warn(const QString &line) const;
    QString folderProblem() const;
    void replace(Database &db);
    bool unchangedSinceLookup(const QString &path, FileIdentity *identity);

    QString m_cacheFolder;
    bool m_cacheFolderFailed = false;
    std::shared_ptr<IndexWarnings> m_warnings;
    Outcome m_outcome = Outcome::None;
    int m_busyTimeoutMs = 2000;
    std::map<QString, std::unique_ptr<Database>> m_databases; // by database path
    QHash<QString, QString> m_pathByFolder;                   // database path by log folder
    QHash<QString, FileIdentity> m_pending;                   // file path -> identity when looked up
    std::unique_ptr<StoreThread> m_writer;                    // made with the first storeLater()
};

} // namespace Index

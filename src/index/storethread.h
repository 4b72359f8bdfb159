#pragma once

// Summaries written on a thread of their own, so that within a period pass the
// reader goes straight on to the next file while the last one's summary goes
// into the database. A piece of SqliteDayIndex; not for use elsewhere.

#include "engine/dayindex.h"
#include "index/fileidentity.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

class QSqlError;
class QSqlQuery;

namespace Index {

// SQLite's own words name its calls ("unable to open database file Error
// opening database"); the user wants to know what to change.
QString plainReason(int code, const QString &error, const QString &path);
// SQLite's primary result code of an error, or -1.
int primaryCode(const QSqlError &e);

// The one statement that writes a summary, for either thread's connection,
// and its values for one file.
bool prepareInsert(QSqlQuery &q);
void bindRow(QSqlQuery &q, const QString &fileName, const FileIdentity &identity, const QByteArray &summary);

// Lines on standard error, named after the program that uses the index, and at
// most one per database from whichever thread meets its trouble first.
class IndexWarnings
{
public:
    void setEnabled(bool on);
    void line(const QString &text) const;
    void once(const QString &database, const QString &text);

private:
    mutable std::mutex m_mutex;
    bool m_enabled = true;
    QSet<QString> m_warned;
};

class StoreThread
{
public:
    struct Job
    {
        QString database;  // its path
        QString fileName;  // empty: close the connection to `database`
        FileIdentity identity;
        QByteArray summary; // encoded, or empty with `raw` to encode here
        std::shared_ptr<const Module1::DaySummary> raw;
    };

    StoreThread(int busyTimeoutMs, std::shared_ptr<IndexWarnings> warnings);
    // Stores what was handed over, then closes its connections.
    ~StoreThread();
    StoreThread(const StoreThread &) = delete;
    StoreThread &operator=(const StoreThread &) = delete;

    void add(Job job);
    // Returns once everything handed over is stored (or failed).
    void flush();
    // Flushes and closes the connection to a database about to be replaced.
    void release(const QString &database);

private:
    struct Connection;
    void run();
    void write(const Job &job);
    Connection *connection(const QString &database);
    void close(Connection &c);

    const int m_busyTimeoutMs;
    const std::shared_ptr<IndexWarnings> m_warnings;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_jobs;
    bool m_busy = false;
    bool m_quit = false;
    std::thread m_thread;
    std::map<QString, std::unique_ptr<Connection>> m_connections; // the thread's own
};

} // namespace Index

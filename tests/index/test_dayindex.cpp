// The day index: passes that use it give exactly what reading gives, a summary
// is trusted only for the file it was made from, and a broken cache only costs
// speed.
#include "engine/export.h"
#include "engine/module1.h"
#include "fakehost.h"
#include "index/fileidentity.h"
#include "index/sqlitedayindex.h"
#include "index/summarycodec.h"
#include "workspace.h"

#include <QDateTime>
#include <QDir>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <map>

using namespace Module1;

namespace {

void writeSettled(const Workspace &ws, const QString &name, const QByteArray &content)
{
    ws.writeLog(name, content);
    ws.settleLog(name);
}

// Edits and Escape at the first event-loop turn of a chosen file of a command.
class ScriptedHost : public FakeHost
{
public:
    std::map<int, std::function<void()>> edits; // by file number within the run
    int escapeAt = -1;
    int file = 0;
    bool firstTurn = false;

    void setStatus(const QString &c) override
    {
        FakeHost::setStatus(c);
        if (!c.isEmpty()) {
            ++file;
            firstTurn = true;
        }
    }
    bool processEvents() override
    {
        ++eventTurns;
        if (!firstTurn)
            return false;
        firstTurn = false;
        if (const auto it = edits.find(file); it != edits.end())
            it->second();
        return file == escapeAt;
    }
};

// Everything a command leaves that a window or a later pass could see.
QStringList outcome(const ScriptedHost &h)
{
    const CurrentRecord &r = record;
    QStringList out = h.ships;
    out << "|" << h.files << "|" << QString::number(h.shipSelected) << QString::number(h.fileSelected)
        << QString::number(h.limitMessages) << QString::number(h.openEnabled) << h.statusHistory << "|"
        << h.changeLines << QString::number(h.drawn.size()) << QString::fromStdString(search.selectedMmsi);
    for (const std::string *f : {&r.recTime, &r.recMmsi, &r.recName, &r.recLongitude, &r.recLatitude, &r.recSpeed,
                                 &r.recDestination, &r.recEta, &r.recDraught, &r.recNavStatus, &r.recText})
        out << QString::fromStdString(*f);
    for (int c : view.hourCount)
        out << QString::number(c);
    out << passDetails(passReport);
    return out;
}

// Counts the files the index answered for.
class CountingIndex : public DayIndex
{
public:
    explicit CountingIndex(DayIndex &inner) : m_inner(inner) {}
    int hits = 0;
    Lookup lookup(const QString &folder, const QString &fileName) override
    {
        Lookup l = m_inner.lookup(folder, fileName);
        hits += l.summary != nullptr;
        return l;
    }
    void store(const QString &folder, const QString &fileName, const DaySummary &summary) override
    {
        m_inner.store(folder, fileName, summary);
    }

private:
    DayIndex &m_inner;
};

class Random
{
public:
    explicit Random(quint32 seed) : m_rng(seed) {}
    int below(int n) { return int(m_rng.bounded(quint32(n))); }
    bool chance(int percent) { return below(100) < percent; }
    template <typename T, std::size_t N>
    const T &pick(const T (&items)[N]) { return items[below(int(N))]; }

private:
    QRandomGenerator m_rng;
};

const char *const kMmsis[] = {"431000001", "431000002", "431000003", "431000004", "432000005", "x1"};
const char *const kNames[] = {"", "", "ALPHA", "BRAVO MARU", "CHARLIE", "D,E"};
// Positions on and around the squares the criteria use, and numbers no square holds.
const char *const kLatitudes[] = {"34", "33", "35", "34.5", "35.0000001", "", "abc", "1e400", "-1e400", "0", "33.99"};
const char *const kLongitudes[] = {"131", "130", "132", "131.5", "129.9999999", "", "x", "1e400", "0", "130.5"};

QByteArray randomLog(Random &r)
{
    if (r.chance(5))
        return {};
    QByteArray log;
    const int records = r.below(12);
    for (int i = 0; i < records; ++i) {
        // Keys before the first separator, separators without a time, records without an MMSI.
        if (i > 0 || !r.chance(20))
            log += r.chance(10) ? QByteArray("--------------------\r\n")
                                : "-------------------- 0" + QByteArray::number(r.below(10)) + ":1" +
                                      QByteArray::number(r.below(10)) + ":00\r\n";
        if (!r.chance(15))
            log += "MMSI NUMBER         = " + QByteArray(r.pick(kMmsis)) + "\r\n";
        if (const QByteArray name = r.pick(kNames); !name.isEmpty())
            log += "NAME                = " + name + "\r\n";
        if (!r.chance(10))
            log += "LATITUDE            = " + QByteArray(r.pick(kLatitudes)) + "\r\n";
        if (!r.chance(10))
            log += "LONGITUDE           = " + QByteArray(r.pick(kLongitudes)) + "\r\n";
        if (r.chance(50))
            log += "SPEED OVER GROUND   = 1" + QByteArray::number(r.below(10)) + " [knots]\r\n";
        if (r.chance(20))
            log += "NAVIGATIONAL STATUS = S" + QByteArray::number(r.below(3)) + "\r\n";
    }
    return log;
}

void randomCriteria(Random &r, FakeHost &h)
{
    const char *const mmsis[] = {"", "", "", "431000001", "431000003", "999999999"};
    h.text1[0] = r.pick(mmsis);
    const char *const squares[][3] = {{"34", "131", "1"},   {"33", "130", "0"},  {"35", "132", "0.5"},
                                      {"", "", ""},         {"34", "131", "0.5"}, {"1e400", "1e400", "1e400"},
                                      {"34.5", "131.5", "0"}};
    const int fields[3][3] = {{4, 5, 6}, {9, 10, 11}, {12, 13, 14}};
    for (int k = 0; k < 3; ++k) {
        h.check1[k] = r.chance(35);
        const auto &s = squares[r.below(7)];
        for (int f = 0; f < 3; ++f)
            h.text1[fields[k][f]] = s[f];
    }
}

} // namespace

class TestDayIndex : public QObject
{
    Q_OBJECT

    static constexpr int kFiles = 6;

    // One run of commands from a fresh engine state: a Search, ship
    // selections and an Open, with the edits and the Escape drawn from `seed`.
    QStringList runScenario(quint32 seed, DayIndex *index)
    {
        Random r(seed);
        ScriptedHost h;
        resetState();
        setHost(&h);
        setDayIndex(index);
        h.text1[7] = r.chance(80) ? "" : "20110403";
        h.text1[8] = "99999999";
        randomCriteria(r, h);
        for (int f = 1; f <= 3 * kFiles; ++f) {
            if (r.chance(15)) {
                const quint32 editSeed = quint32(r.below(1 << 30));
                h.edits[f] = [&h, editSeed] {
                    Random e(editSeed);
                    randomCriteria(e, h);
                };
            }
        }
        h.escapeAt = r.chance(30) ? 1 + r.below(3 * kFiles) : -1;

        searchCommand();
        QStringList out = outcome(h);
        for (int i = 0; i < 2 && h.ships.size() > 0; ++i) {
            if (r.chance(50))
                randomCriteria(r, h);
            h.selectShip(r.below(int(h.ships.size())));
            out << "#" << outcome(h);
        }
        if (h.fileSelected >= 0) {
            h.choice = r.chance(50) ? ViewChoice::Changes : ViewChoice::Chart;
            openView();
            out << "#" << outcome(h);
        }
        setDayIndex(nullptr);
        setHost(nullptr);
        return out;
    }

    // List1 after a Search with no criteria over every file.
    static QStringList searchShips(DayIndex *index)
    {
        FakeHost h;
        h.text1[7] = "";
        h.text1[8] = "99999999";
        resetState();
        setHost(&h);
        setDayIndex(index);
        searchCommand();
        setDayIndex(nullptr);
        setHost(nullptr);
        return h.ships;
    }

    // Runs `use` on the index's database for the workspace's logs.
    static void withDatabase(Index::SqliteDayIndex &index, const std::function<void(QSqlQuery &)> &use)
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "test");
            db.setDatabaseName(index.databasePath("../logs/"));
            QVERIFY(db.open());
            QSqlQuery q(db);
            use(q);
        }
        QSqlDatabase::removeDatabase("test");
    }

    static std::unique_ptr<DaySummary> storedSummary(Index::SqliteDayIndex &index, const QString &fileName)
    {
        std::unique_ptr<DaySummary> summary;
        withDatabase(index, [&](QSqlQuery &q) {
            if (q.exec("SELECT summary FROM days WHERE name = '" + fileName + "'") && q.next())
                summary = Index::decodeSummary(q.value(0).toByteArray());
        });
        return summary;
    }

    static void tamperName(Index::SqliteDayIndex &index, const QString &fileName, const std::string &name)
    {
        auto summary = storedSummary(index, fileName);
        QVERIFY(summary && !summary->ships.empty());
        summary->ships[0].lastName = name;
        withDatabase(index, [&](QSqlQuery &q) {
            q.prepare("UPDATE days SET summary = ? WHERE name = ?");
            q.addBindValue(Index::encodeSummary(*summary));
            q.addBindValue(fileName);
            QVERIFY(q.exec());
        });
    }

private slots:
    // Random logs and criteria: every command gives the same with the index as
    // without it, while the index is built and once it answers for files.
    void passesWithTheIndexEqualPassesWithout()
    {
        int hits = 0;
        for (quint32 trial = 0; trial < 60; ++trial) {
            Workspace ws;
            QTemporaryDir cache;
            Index::SqliteDayIndex sqlite(cache.path());
            CountingIndex index(sqlite);
            Random r(trial);
            for (int d = 0; d < kFiles; ++d)
                writeSettled(ws, QString("2011040%1_AIS_FMT.log").arg(d + 1), randomLog(r));
            for (int s = 0; s < 6; ++s) {
                const quint32 seed = trial * 100 + quint32(s);
                const QStringList plain = runScenario(seed, nullptr);
                const QStringList indexed = runScenario(seed, &index);
                if (plain != indexed)
                    qWarning() << "trial" << trial << "scenario" << s << "\n" << plain << "\n" << indexed;
                QCOMPARE(indexed, plain);
                // A file rewritten between passes must be read again.
                if (r.chance(30))
                    writeSettled(ws, QString("2011040%1_AIS_FMT.log").arg(1 + r.below(kFiles)), randomLog(r));
            }
            hits += index.hits;
        }
        QVERIFY(hits > 500);
    }

    // The index answers for an unchanged file (the summary, tampered with here,
    // is what the pass shows) and for nothing else.
    void aSummaryHoldsForTheFileItWasMadeFromOnly()
    {
        const QString day2 = "20110402_AIS_FMT.log";
        const QByteArray same = logRecord("01:00:00", "431000001", "REAL2");
        const QByteArray sameSize = logRecord("01:00:00", "431000001", "REAL3");
        const std::function<void(const Workspace &, const QString &)> changes[] = {
            [&](const Workspace &, const QString &p) {
                QFile f(p);
                f.open(QIODevice::Append);
                f.write(logRecord("02:00:00", "431000001", "APPENDED"));
            },
            [&](const Workspace &ws, const QString &) { writeSettled(ws, day2, sameSize); },
            [&](const Workspace &, const QString &p) {
                const QDateTime old = QFileInfo(p).lastModified();
                QFile f(p);
                f.open(QIODevice::ReadWrite);
                f.write(sameSize);
                f.setFileTime(old, QFileDevice::FileModificationTime);
            },
            [&](const Workspace &ws, const QString &p) {
                QFile::rename(p, p + ".old");
                writeSettled(ws, day2, sameSize);
            },
            [&](const Workspace &, const QString &p) { QFile::remove(p); },
        };
        const QString expected[] = {"431000001 APPENDED", "431000001 REAL3", "431000001 REAL3", "431000001 REAL3",
                                    "431000001 REAL"};
        for (int c = 0; c < 5; ++c) {
            Workspace ws;
            QTemporaryDir cache;
            Index::SqliteDayIndex index(cache.path());
            writeSettled(ws, "20110401_AIS_FMT.log", logRecord("01:00:00", "431000001", "REAL"));
            writeSettled(ws, day2, same);
            const QString path = ws.logs() + "/" + day2;
            QCOMPARE(searchShips(&index), QStringList{"431000001 REAL2"});
            QVERIFY(index.isCurrent("../logs/", day2));

            tamperName(index, day2, "INDEXED");
            QCOMPARE(searchShips(&index), QStringList{"431000001 INDEXED"});
            changes[c](ws, path);
            QVERIFY(!index.isCurrent("../logs/", day2));
            QCOMPARE(searchShips(&index), QStringList{expected[c]});
        }
    }

    // A file the index would list as the 1000th is read instead, so that the
    // limit and its message come exactly where reading puts them.
    void theFileListLimitComesWhereReadingPutsIt()
    {
        Workspace ws;
        QTemporaryDir cache;
        Index::SqliteDayIndex index(cache.path());
        for (int d = 0; d < 1001; ++d)
            writeSettled(ws, QString("2%1_AIS_FMT.log").arg(d, 7, 10, QChar('0')),
                         logRecord("01:00:00", "431000001") + logRecord("01:00:01", "431000001"));
        QCOMPARE(searchShips(&index), QStringList{"431000001 "});
        QVERIFY(index.isCurrent("../logs/", "20000999_AIS_FMT.log"));
        for (DayIndex *use : {(DayIndex *)nullptr, (DayIndex *)&index}) {
            FakeHost h;
            h.text1[8] = "99999999";
            h.ships = {"431000001 "};
            h.shipSelected = 0;
            resetState();
            setHost(&h);
            setDayIndex(use);
            shipSelection();
            setDayIndex(nullptr);
            setHost(nullptr);
            QCOMPARE(h.files.size(), 1000);
            QCOMPARE(h.files.last(), QString("20000999_AIS_FMT.log"));
            QCOMPARE(h.limitMessages, 1);
            QCOMPARE(QString::fromStdString(record.recMmsi), QString());
        }
    }

    // More ships in a file than the summary's table first holds.
    void aDayOfManyShips()
    {
        Workspace ws;
        QTemporaryDir cache;
        Index::SqliteDayIndex index(cache.path());
        QByteArray log;
        for (int round = 0; round < 2; ++round) {
            for (int i = 0; i < 1500; ++i)
                log += logRecord("01:00:00", QByteArray::number(100000000 + i), {}, QByteArray::number(round + i));
        }
        writeSettled(ws, "20110401_AIS_FMT.log", log);
        QCOMPARE(searchShips(&index).size(), 1000); // the limit: no summary
        for (int i = 0; i < 2; ++i) {
            FakeHost h;
            h.text1[8] = "99999999";
            h.text1[0] = "100001499";
            resetState();
            setHost(&h);
            setDayIndex(&index);
            searchCommand();
            setDayIndex(nullptr);
            setHost(nullptr);
            QCOMPARE(h.ships, QStringList{"100001499 "});
        }
        const auto summary = storedSummary(index, "20110401_AIS_FMT.log");
        QVERIFY(summary);
        QCOMPARE(summary->ships.size(), std::size_t(1500));
        const ShipSummary *last = summary->find("100001499");
        QVERIFY(last && last->records == 2 && last->minLatitude == 1499 && last->maxLatitude == 1500);
    }

    // Exports read every file: a summary holds nothing of what they write.
    void exportsReadEveryFile()
    {
        struct Count : RecordSink
        {
            int records = 0;
            bool take(const CurrentRecord &, const QString &) override { return ++records, false; }
        };
        Workspace ws;
        QTemporaryDir cache;
        Index::SqliteDayIndex index(cache.path());
        writeSettled(ws, "20110401_AIS_FMT.log", logRecord("01:00:00", "431000001", "A") + logRecord("01:00:01", "431000001"));
        writeSettled(ws, "20110402_AIS_FMT.log", logRecord("01:00:00", "431000001", "A"));
        QCOMPARE(searchShips(&index), QStringList{"431000001 A"});
        QCOMPARE(searchShips(&index), QStringList{"431000001 A"});
        FakeHost h;
        h.text1[8] = "99999999";
        resetState();
        setHost(&h);
        setDayIndex(&index);
        Count count;
        exportPeriod(count);
        setDayIndex(nullptr);
        setHost(nullptr);
        QCOMPARE(count.records, 3);
    }

    // A file that cannot be read now is reported as a read would report it,
    // whatever its summary says. Root reads it anyway: ctest runs this again
    // without root's capabilities.
    void aFileMadeUnreadableIsReadAgain()
    {
        VELK_SKIP_WITHOUT_PERMISSION_BITS();
        Workspace ws;
        QTemporaryDir cache;
        Index::SqliteDayIndex index(cache.path());
        writeSettled(ws, "20110401_AIS_FMT.log", logRecord("01:00:00", "431000001", "A"));
        QCOMPARE(searchShips(&index), QStringList{"431000001 A"});
        QFile log(ws.logs() + "/20110401_AIS_FMT.log");
        log.setPermissions(QFileDevice::Permissions());
        if (log.open(QIODevice::ReadOnly))
            QSKIP("running with privileges that read any file");
        QVERIFY(!index.isCurrent("../logs/", "20110401_AIS_FMT.log"));
        QCOMPARE(searchShips(&index), QStringList{});
        QCOMPARE(passReport.skipped.size(), std::size_t(1));
    }

    // A database the user may not write: the passes read their files. Run
    // again by ctest without root's capabilities.
    void aReadOnlyIndexOnlyCostsSpeed()
    {
        Workspace ws;
        QTemporaryDir cache;
        writeSettled(ws, "20110401_AIS_FMT.log", logRecord("01:00:00", "431000001", "A"));
        writeSettled(ws, "20110402_AIS_FMT.log", logRecord("01:00:00", "431000002", "B"));
        const QStringList expected{"431000001 A", "431000002 B"};
        {
            Index::SqliteDayIndex first(cache.path());
            QCOMPARE(searchShips(&first), expected);
        }
        const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
        for (const QString &name : QDir(cache.path()).entryList(QDir::Files))
            QFile(cache.path() + "/" + name).setPermissions(readOnly);
        QFile(cache.path()).setPermissions(readOnly | QFileDevice::ExeOwner);
        ws.write("logs/20110403_AIS_FMT.log", logRecord("01:00:00", "431000003", "C"));
        ws.settleLog("20110403_AIS_FMT.log");
        {
            Index::SqliteDayIndex index(cache.path());
            QCOMPARE(searchShips(&index), expected + QStringList{"431000003 C"});
            QCOMPARE(searchShips(&index), expected + QStringList{"431000003 C"});
        }
        QFile(cache.path()).setPermissions(readOnly | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    // Windows' copy and robocopy rewrite a file in place and put the old
    // modification time back; only the change time (FILE_BASIC_INFO's on
    // Windows, not the creation time) tells the new content from the old.
    void aSameSizeRewriteWithTheOldTimeIsANewIdentity()
    {
        QTemporaryDir dir;
        const QString path = QDir::toNativeSeparators(dir.filePath("20110401_AIS_FMT.log"));
        const QDateTime old(QDate(2011, 4, 1), QTime(23, 59, 59));
        const auto write = [&](const QByteArray &content) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
            QVERIFY(f.flush());
            QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
        };
        write("431000001 A");
        Index::FileIdentity before;
        QVERIFY(Index::identify(path, &before));
        QCOMPARE(before.size, 11);
        QCOMPARE(before.modifiedNs, old.toMSecsSinceEpoch() * 1000000);
        QVERIFY(before.inode != 0);

        // The file systems' clocks tick coarsely: let one tick pass.
        QThread::msleep(50);
        write("431000001 B");
        Index::FileIdentity after;
        QVERIFY(Index::identify(path, &after));
        QCOMPARE(after.modifiedNs, before.modifiedNs);
        QCOMPARE(after.inode, before.inode);
        QCOMPARE(after.device, before.device);
        QVERIFY(after.changedNs != before.changedNs);

        QVERIFY(Index::isReadable(path));
        QVERIFY(!Index::identify(dir.path(), &after));
        QVERIFY(!Index::identify(path + ".none", &after));
        QVERIFY(!Index::isReadable(path + ".none"));
    }

    // Today's log is still being written: never answered for, never summarised.
    void todaysLogIsAlwaysRead()
    {
        Workspace ws;
        QTemporaryDir cache;
        Index::SqliteDayIndex index(cache.path());
        const QString today = QDate::currentDate().toString("yyyyMMdd") + "_AIS_FMT.log";
        writeSettled(ws, today, logRecord("01:00:00", "431000001", "NOW"));
        QCOMPARE(searchShips(&index), QStringList{"431000001 NOW"});
        QVERIFY(!index.isCurrent("../logs/", today));
    }

    // A cache that cannot be made, a database that is garbage, truncated or
    // locked: the passes read the files and find what they always find, and a
    // damaged database is replaced by the next pass that writes.
    void aBrokenCacheOnlyCostsSpeed()
    {
        enum Case { Uncreatable, Garbage, Truncated, Locked };
        for (const Case c : {Uncreatable, Garbage, Truncated, Locked}) {
            Workspace ws;
            QTemporaryDir cache;
            writeSettled(ws, "20110401_AIS_FMT.log", logRecord("01:00:00", "431000001", "A"));
            writeSettled(ws, "20110402_AIS_FMT.log", logRecord("01:00:00", "431000002", "B"));
            const QStringList expected{"431000001 A", "431000002 B"};
            QString folder = cache.path();
            QString dbPath = Index::SqliteDayIndex(folder).databasePath("../logs/");
            QSqlDatabase locker;
            if (c == Uncreatable) {
                ws.write("blocker", "a file where the cache folder should be");
                folder = ws.path("blocker/cache");
            } else {
                {
                    Index::SqliteDayIndex first(folder);
                    QCOMPARE(searchShips(&first), expected);
                }
                QFile db(dbPath);
                if (c == Garbage) {
                    db.open(QIODevice::WriteOnly);
                    db.write(QByteArray(5000, '\x5a'));
                } else if (c == Truncated) {
                    QFile::remove(dbPath + "-wal");
                    db.resize(db.size() / 2 + 1);
                } else {
                    locker = QSqlDatabase::addDatabase("QSQLITE", "locker");
                    locker.setDatabaseName(dbPath);
                    QVERIFY(locker.open());
                    QSqlQuery q(locker);
                    QVERIFY(q.exec("PRAGMA locking_mode=EXCLUSIVE"));
                    QVERIFY(q.exec("BEGIN EXCLUSIVE"));
                    QVERIFY(q.exec("DELETE FROM days"));
                }
            }
            {
                Index::SqliteDayIndex index(folder);
                index.setBusyTimeout(50);
                QCOMPARE(searchShips(&index), expected);
                QCOMPARE(searchShips(&index), expected);
            }
            if (c == Garbage || c == Truncated) {
                Index::SqliteDayIndex again(folder);
                QVERIFY(again.isCurrent("../logs/", "20110401_AIS_FMT.log"));
            }
            if (c == Locked) {
                locker.close();
                locker = QSqlDatabase();
                QSqlDatabase::removeDatabase("locker");
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestDayIndex)
#include "test_dayindex.moc"

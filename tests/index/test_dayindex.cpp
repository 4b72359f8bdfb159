// The day index: passes that use it give exactly what reading gives, a summary
// is trusted only for the file it was made from, and a broken cache only costs
// speed.
#include "engine/export.h"
#include "engine/internal.h"
#include "engine/module1.h"
#include "fakehost.h"
#include "index/fileidentity.h"
#include "index/sqlitedayindex.h"
#include "index/summarycodec.h"
#include "settledindex.h"
#include "workspace.h"

#include <QDateTime>
#include <QtEndian>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <functional>
#include <map>
#include <memory>

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

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
    out << passDetails(passReport) << QString::number(detail::g_timeReplaced);
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

// Besides the usual nine bytes: nine characters in ten bytes, and in 27.
const char *const kMmsis[] = {"431000001", "431000002", "431000003", "431000004", "432000005", "x1",
                              "43100000\xc3\xbc", "\xe7\xac\xac\xe4\xb8\x80\xe4\xb8\xb8\xe7\xac\xac\xe4\xb8\x80"
                              "\xe4\xb8\xb8\xe7\xac\xac\xe4\xb8\x80\xe4\xb8\xb8"};
const char *const kNames[] = {"", "", "ALPHA", "BRAVO MARU", "CHARLIE", "D,E"};
// Positions on and around the squares the criteria use, on and beside the
// edges of the summary's cells, and numbers no square holds.
const char *const kLatitudes[] = {"34",    "33",     "35",           "34.5",  "35.0000001", "",   "abc",
                                  "1e400", "-1e400", "0",            "33.99", "33.98",      "33.97",
                                  "33.96", "34.01",  "33.9799999999", "-0.01",      "33.972", "33.985"};
const char *const kLongitudes[] = {"131",   "130",   "132",    "131.5",          "129.9999999", "", "x", "1e400",
                                   "0",     "130.5", "130.98", "130.9899999999", "131.02",      "130.97", "-0.01",
                                   "130.972", "130.985"};

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
    // Squares whose edges fall on cell edges, within cells, or nowhere.
    const char *const squares[][3] = {{"34", "131", "1"},        {"33", "130", "0"},          {"35", "132", "0.5"},
                                      {"", "", ""},               {"34", "131", "0.5"},        {"1e400", "1e400", "1e400"},
                                      {"34.5", "131.5", "0"},     {"33.98", "130.98", "0.01"}, {"33.99", "131", "0.02"},
                                      {"33.975", "130.985", "0.005"}, {"34", "131", "0.03"},   {"0", "0", "0.01"},
                                      {"33.985", "130.985", "0.01"}};
    const int fields[3][3] = {{4, 5, 6}, {9, 10, 11}, {12, 13, 14}};
    for (int k = 0; k < 3; ++k) {
        h.check1[k] = r.chance(35);
        const auto &s = squares[r.below(13)];
        for (int f = 0; f < 3; ++f)
            h.text1[fields[k][f]] = s[f];
    }
}


// A file system of whole-second time stamps, as FAT, exFAT and ext4 with
// 128-byte inodes keep them: both rewrites of a test fall in the second
// `changed`, and the clock reads `now`.
class WholeSecondIndex : public SettledIndex
{
public:
    using SettledIndex::SettledIndex;
    std::int64_t changed = 0, now = 0;

protected:
    bool examine(const QString &path, Index::FileIdentity *id) override
    {
        if (!SettledIndex::examine(path, id))
            return false;
        id->modifiedNs -= id->modifiedNs % 1000000000;
        id->changedNs = changed;
        return true;
    }
    std::int64_t nowNs() override { return now; }
};

// Wants the summary of every file and keeps the last one stored.
class CapturingIndex : public DayIndex
{
public:
    DaySummary summary;
    Lookup lookup(const QString &, const QString &) override
    {
        Lookup l;
        l.wantSummary = true;
        return l;
    }
    void store(const QString &, const QString &, const DaySummary &s) override { summary = s; }
};

// A summary as text: every number and text it holds.
QStringList summaryText(const DaySummary &d)
{
    const auto q = [](const std::string &s) { return "'" + QString::fromStdString(s) + "'"; };
    QStringList out{QString("items %1 first %2 %3 sets %4 last %5 %6")
                        .arg(d.hasItems).arg(q(d.firstTime)).arg(d.firstTimeReplaced).arg(d.setsTime)
                        .arg(q(d.lastTime)).arg(d.lastTimeReplaced),
                    "left " + QStringList{q(d.name), q(d.longitude), q(d.latitude), q(d.speed)}.join(' ')};
    for (const ShipSummary &s : d.ships) {
        QString line = QString("%1 %2 lat %3..%4 lon %5..%6 %7 cells")
                           .arg(q(s.mmsi)).arg(s.records)
                           .arg(s.minLatitude, 0, 'g', 17).arg(s.maxLatitude, 0, 'g', 17)
                           .arg(s.minLongitude, 0, 'g', 17).arg(s.maxLongitude, 0, 'g', 17).arg(q(s.lastName));
        for (std::uint64_t c : s.cells)
            line += QString(" %1,%2").arg(cellLatitude(c)).arg(cellLongitude(c));
        out << line + QString(" hours %1").arg(s.hours, 0, 16);
    }
    const StationDay &st = d.station;
    QString counts;
    for (std::size_t i = 0; i < st.tenMinutes.size(); ++i)
        if (st.tenMinutes[i])
            counts += QString(" %1:%2").arg(i).arg(st.tenMinutes[i]);
    out << QString("station untimed %1 ten%2").arg(st.untimed).arg(counts);
    for (const Hearing *h : {&st.all, &st.nonFixed}) {
        QString gaps;
        for (const auto &[a, b] : h->gaps)
            gaps += QString(" %1-%2").arg(a).arg(b);
        out << QString("heard %1..%2 gaps%3").arg(h->first).arg(h->last).arg(gaps);
    }
    for (const RangeCell &c : st.range)
        out << QString("range %1,%2 %3 ship %4 at %5").arg(cellLatitude(c.cell)).arg(cellLongitude(c.cell)).arg(c.count).arg(c.ship).arg(c.second);
    for (const RejectedFix &x : st.rejected)
        out << QString("rejected ship %1 at %2 %3,%4 why %5 %6").arg(x.ship).arg(x.second).arg(x.latitude, 0, 'g', 17).arg(x.longitude, 0, 'g', 17).arg(int(x.reason)).arg(double(x.knots));
    return out;
}

// Rewrites a log in place, as a copy that keeps the modification time does.
void rewriteInPlace(const QString &path, const QByteArray &content, const QDateTime &modified)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    f.write(content);
    f.flush();
    f.setFileTime(modified, QFileDevice::FileModificationTime);
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
        // Edits and Escape come at numbered event-loop turns. A pass with
        // workers also takes turns while it waits for one, as many as the
        // machine's load makes, so only one thread numbers them alike in
        // both runs; test_parallel compares the passes with workers.
        setReadJobs(1);
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
        setReadJobs(0);
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

    // A Search, or with `ship` a ship selection, with the criteria `set` types in.
    static QStringList pass(DayIndex *index, const std::function<void(FakeHost &)> &set, const QString &ship = {})
    {
        FakeHost h;
        h.text1[7] = "";
        h.text1[8] = "99999999";
        set(h);
        resetState();
        setHost(&h);
        setDayIndex(index);
        if (ship.isEmpty()) {
            searchCommand();
        } else {
            h.ships = {ship};
            h.shipSelected = 0;
            shipSelection();
        }
        setDayIndex(nullptr);
        setHost(nullptr);
        return ship.isEmpty() ? h.ships : h.files;
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
            SettledIndex sqlite(cache.path());
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
            SettledIndex index(cache.path());
            writeSettled(ws, "20110401_AIS_FMT.log", logRecord("01:00:00", "431000001", "REAL"));
            writeSettled(ws, day2, same);
            const QString path = ws.logs() + "/" + day2;
            QCOMPARE(searchShips(&index), QStringList{"431000001 REAL2"});
            QVERIFY(index.isCurrent("../logs/", "20110401_AIS_FMT.log"));
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
        SettledIndex index(cache.path());
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
        SettledIndex index(cache.path());
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
        SettledIndex index(cache.path());
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
        SettledIndex index(cache.path());
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
            SettledIndex first(cache.path());
            QCOMPARE(searchShips(&first), expected);
        }
        const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
        for (const QString &name : QDir(cache.path()).entryList(QDir::Files))
            QFile(cache.path() + "/" + name).setPermissions(readOnly);
        QFile(cache.path()).setPermissions(readOnly | QFileDevice::ExeOwner);
        ws.write("logs/20110403_AIS_FMT.log", logRecord("01:00:00", "431000003", "C"));
        ws.settleLog("20110403_AIS_FMT.log");
        {
            SettledIndex index(cache.path());
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
        SettledIndex index(cache.path());
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
                    SettledIndex first(folder);
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
                SettledIndex index(folder);
                index.setBusyTimeout(50);
                QCOMPARE(searchShips(&index), expected);
                QCOMPARE(searchShips(&index), expected);
            }
            if (c == Garbage || c == Truncated) {
                SettledIndex again(folder);
                QVERIFY(again.isCurrent("../logs/", "20110401_AIS_FMT.log"));
            }
            if (c == Locked) {
                locker.close();
                locker = QSqlDatabase();
                QSqlDatabase::removeDatabase("locker");
            }
        }
    }

    // Rewritten in place twice within one second, at the same size and with
    // the modification time put back, a log keeps every part of its identity
    // where stamps are whole seconds: only a change time older than the settle
    // window tells that no such rewrite can still come unnoticed.
    void aLogChangedWithinTheSettleWindowGetsNoSummary()
    {
        Workspace ws;
        QTemporaryDir cache;
        WholeSecondIndex index(cache.path());
        const QString name = "20110401_AIS_FMT.log";
        const QString path = ws.logs() + "/" + name;
        const QDateTime modified = QDateTime::currentDateTime().addSecs(-3600);
        const auto rewrite = [&](const QByteArray &content) { rewriteInPlace(path, content, modified); };
        index.changed = QDateTime::currentMSecsSinceEpoch() / 1000 * 1000000000;
        index.now = index.changed + 500000000;
        const auto days = [&](const QString &ship) { return pass(&index, [](FakeHost &) {}, ship); };
        rewrite(logRecord("01:00:00", "431000001", "FIRST"));
        QCOMPARE(days("431000001 FIRST"), QStringList{name});
        rewrite(logRecord("01:00:00", "431000002", "SECND"));
        QCOMPARE(days("431000001 FIRST"), QStringList{});
        QCOMPARE(days("431000002 SECND"), QStringList{name});
        QVERIFY(!index.isCurrent("../logs/", name));
        // Once the window has passed, the file is summarised as any other.
        index.now = index.changed + 2100000000;
        QCOMPARE(days("431000002 SECND"), QStringList{name});
        QVERIFY(index.isCurrent("../logs/", name));
    }

    // The same on a real file system of whole-second stamps: ext4 with
    // 128-byte inodes in a loop-mounted image, where the machine allows it.
    void aLogRewrittenWithinOneSecondOnExt4WithSmallInodes()
    {
#ifdef Q_OS_LINUX
        if (::geteuid() != 0)
            QSKIP("mounting a file system image needs root");
        Workspace ws;
        const QString image = ws.path("ext4.img");
        const auto run = [](const QString &program, const QStringList &args, QString *error) {
            QProcess p;
            p.start(program, args);
            const bool ok = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
            if (error)
                *error = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
            return ok;
        };
        {
            QFile file(image);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(8 << 20));
        }
        QString error;
        if (!run("mkfs.ext4", {"-q", "-F", "-I", "128", image}, &error))
            QSKIP(qPrintable("cannot make an ext4 image: " + error));
        if (!run("mount", {"-o", "loop", image, ws.logs()}, &error))
            QSKIP(qPrintable("this machine does not allow a loop mount: " + error));
        const std::unique_ptr<void, std::function<void(void *)>> unmount(
            &error, [&](void *) { run("umount", {ws.logs()}, nullptr); });

        QTemporaryDir cache;
        Index::SqliteDayIndex index(cache.path());
        const QString name = "20110401_AIS_FMT.log";
        const QString path = ws.logs() + "/" + name;
        const QDateTime modified = QDateTime::currentDateTime().addSecs(-3600);
        const auto rewrite = [&](const QByteArray &content) { rewriteInPlace(path, content, modified); };
        const auto days = [&](const QString &ship) { return pass(&index, [](FakeHost &) {}, ship); };
        // Both rewrites and the pass between them early in one second.
        while (QDateTime::currentMSecsSinceEpoch() % 1000 > 200)
            QTest::qSleep(10);
        rewrite(logRecord("01:00:00", "431000001", "FIRST"));
        QCOMPARE(days("431000001 FIRST"), QStringList{name});
        rewrite(logRecord("01:00:00", "431000002", "SECND"));
        QCOMPARE(days("431000001 FIRST"), QStringList{});
        QTest::qSleep(2100);
        QCOMPARE(days("431000002 SECND"), QStringList{name});
        QVERIFY(index.isCurrent("../logs/", name));
#else
        QSKIP("a Linux file system image");
#endif
    }

    // A file answered for leaves whether recTime is the reader's stand-in for
    // a separator without a time, as reading it would: a track read next takes
    // its first points' times from it.
    void anAnsweredFileLeavesTheTimeStandInAsReadingDoes()
    {
        Workspace ws;
        QTemporaryDir cache;
        SettledIndex index(cache.path());
        writeSettled(ws, "20110401_AIS_FMT.log", "--------------------\r\n" + logRecord("01:00:00", "431000001"));
        writeSettled(ws, "20110402_AIS_FMT.log", logRecord("01:00:00", "431000002") + "--------------------\r\n");
        const auto otherShip = [](FakeHost &h) { h.text1[0] = "999999999"; };
        for (const QString &to : {QString("20110401"), QString("20110402")}) {
            const auto period = [&](FakeHost &h) {
                otherShip(h);
                h.text1[8] = to;
            };
            pass(nullptr, period);
            const bool plain = detail::g_timeReplaced;
            pass(&index, period);
            pass(&index, period); // answered for
            QCOMPARE(detail::g_timeReplaced, plain);
            QCOMPARE(QString::fromStdString(record.recTime), QString(to.endsWith('1') ? "01:00:00" : "23:59:59"));
        }
    }

    // The summary of a log that exercises every rule a summary depends on:
    // the leading-number rule, the MMSI's last nine characters, cuts at a
    // comma, characters beyond ASCII, records without an MMSI, separators
    // without a time, the cells. Any change of those rules changes this text:
    // then raise Module1::kSummaryRules, so that stored summaries are made
    // again, and pin the new text under the new revision.
    void theSummaryOfAReferenceLogIsPinned()
    {
        Workspace ws;
        const QByteArray log = "LATITUDE            = 1\r\n"
                               "-------------------- 00:00:01\r\n" +
                               logRecord("00:00:02", "0431000001", "D,E", "33.9683", "130.9747", "10") +
                               logRecord("00:00:03", "431000001", {}, " +34.5abc", "130.97") +
                               logRecord("00:00:04", "x1", "\xe7\xac\xac\xe4\xb8\x80\xe4\xb8\xb8", "1e400", "-0.005") +
                               logRecord("00:00:05", "x1", {}, "", "abc") +
                               logRecord("99:99:99", "431000002", "LONG NAME WITH, A COMMA", "-1e400", ".5") +
                               "--------------------\r\nNAME                = LEFT\r\nLATITUDE            = 12.5\r\n";
        writeSettled(ws, "20110401_AIS_FMT.log", log);
        CapturingIndex index;
        searchShips(&index);
        const std::map<int, QStringList> pinned = {
            {2,
             {"items 1 first '' 0 sets 1 last '23:59:59' 1", "left 'LEFT' '' '12.5' ''",
              "'     = x1' 2 lat 0..1.7976931348623157e+308 lon -0.0050000000000000001..0 "
              "'\xe7\xac\xac\xe4\xb8\x80\xe4\xb8\xb8' cells 0,0 1073741824,-1",
              "'431000001' 2 lat 33.968299999999999..34.5 lon 130.97..130.97470000000001 'D' cells 3396,13097 "
              "3450,13097",
              "'431000002' 1 lat -1.7976931348623157e+308..-1.7976931348623157e+308 lon 0.5..0.5 'LONG NAME WITH' "
              "cells -1073741824,50"}},
            // The station's figures: hours heard, records per 10 minutes, the
            // seconds heard, plausible positions by cell, rejected fixes.
            {3,
             {"items 1 first '' 0 sets 1 last '23:59:59' 1", "left 'LEFT' '' '12.5' ''",
              "'     = x1' 2 lat 0..1.7976931348623157e+308 lon -0.0050000000000000001..0 "
              "'\xe7\xac\xac\xe4\xb8\x80\xe4\xb8\xb8' cells 0,0 1073741824,-1 hours 1",
              "'431000001' 2 lat 33.968299999999999..34.5 lon 130.97..130.97470000000001 'D' cells 3396,13097 "
              "3450,13097 hours 1",
              "'431000002' 1 lat -1.7976931348623157e+308..-1.7976931348623157e+308 lon 0.5..0.5 'LONG NAME WITH' "
              "cells -1073741824,50 hours 0",
              "station untimed 1 ten 0:4", "heard 2..5 gaps", "heard 2..5 gaps", "range 3396,13097 1 ship 1 at 2",
              "rejected ship 1 at 3 34.5,130.97 why 2 114928",
              "rejected ship 0 at 4 1.7976931348623157e+308,-0.0050000000000000001 why 0 0",
              "rejected ship 2 at -1 -1.7976931348623157e+308,0.5 why 0 0"}},
        };
        QVERIFY2(pinned.count(kSummaryRules), "pin the reference summary of the new rules revision");
        QCOMPARE(summaryText(index.summary), pinned.at(kSummaryRules));

        // The same summary stored under an earlier revision holds for nothing.
        const auto underRevision = [&](quint32 revision) {
            QByteArray blob = Index::encodeSummary(index.summary);
            qToLittleEndian(revision, blob.data() + 4);
            qToLittleEndian(Index::summaryChecksum(blob.constData(), std::size_t(blob.size() - 8)),
                            blob.data() + blob.size() - 8);
            return Index::decodeSummary(blob);
        };
        QVERIFY(underRevision(kSummaryRules));
        QVERIFY(!underRevision(kSummaryRules - 1));

        // Every bit of a summary is under its checksum: the lanes of words
        // and the bytes after the last whole 32 alike.
        const QByteArray blob = Index::encodeSummary(index.summary).left(75);
        const quint64 sum = Index::summaryChecksum(blob.constData(), std::size_t(blob.size()));
        for (int bit = 0; bit < blob.size() * 8; ++bit) {
            QByteArray flipped = blob;
            flipped[bit / 8] = char(flipped[bit / 8] ^ (1 << (bit % 8)));
            QVERIFY(Index::summaryChecksum(flipped.constData(), std::size_t(flipped.size())) != sum);
        }
    }

    // The shortcuts of the summary's table: MMSIs ordered as strings by
    // numbers (a byte over 0x7f sorts high, lengths up to 15 bytes and a
    // longer one), a time read once per minute (seconds out of range under a
    // known minute, an hour apart with the same minute), the range's cells
    // merged by cell alone across hemispheres, each with its earliest fix and
    // the lowest ship on a tie.
    void theTablesShortcutsKeepTheFigures()
    {
        for (const bool longMmsi : {false, true}) {
            // Nine characters each, as the reader keeps them.
            std::vector<std::string> mmsis = {"431000001", "43100000x", "43100000\xe7\xac\xac",
                                              "\xe7\xac\xac" "43100000", "4310000\xc3\xa9\xc3\xa9",
                                              "431000\xe7\xac\xac\xe7\xac\xac\xe7\xac\xac",
                                              "431000\xe7\xac\xac\xe7\xac\xac\xc3\xa9"};
            if (longMmsi)
                mmsis.push_back("431\xe7\xac\xac\xe7\xac\xac\xe7\xac\xac\xe7\xac\xac\xe7\xac\xac\xe7\xac\xac");
            QByteArray log;
            for (const std::string &m : mmsis)
                log += logRecord("00:00:01", QByteArray::fromStdString(m));
            Workspace ws;
            writeSettled(ws, "20110401_AIS_FMT.log", log);
            CapturingIndex index;
            searchShips(&index);
            std::sort(mmsis.begin(), mmsis.end());
            std::vector<std::string> stored;
            for (const ShipSummary &s : index.summary.ships)
                stored.push_back(s.mmsi);
            QCOMPARE(stored, mmsis);
        }

        // A second's bits 63 apart in one word of the table of seconds heard.
        const QByteArray log = logRecord("00:00:00", "431000006") + logRecord("00:01:03", "431000006") +
                               logRecord("00:10:05", "431000002", {}, "10.005", "20.005") +
                               logRecord("00:10:05", "431000001", {}, "10.005", "20.005") +
                               logRecord("00:10:07", "431000005", {}, "-10.005", "-20.005") +
                               logRecord("00:10:6x", "431000006") + logRecord("00:10:60", "431000006") +
                               logRecord("00:11:59", "431000004", {}, "10.005", "120.005") +
                               logRecord("00:11:5", "431000006") +
                               logRecord("01:11:00", "431000003", {}, "-10.005", "-20.005");
        Workspace ws;
        writeSettled(ws, "20110402_AIS_FMT.log", log);
        CapturingIndex index;
        searchShips(&index);
        const QStringList figures = summaryText(index.summary).filter(QRegularExpression("^(station|heard|range)"));
        QCOMPARE(figures, (QStringList{"station untimed 3 ten 0:2 1:4 7:1", "heard 0..4260 gaps 0-63 63-605 607-719 719-4260",
                                       "heard 0..4260 gaps 0-63 63-605 607-719 719-4260", "range -1001,-2001 2 ship 4 at 607",
                                       "range 1000,2000 2 ship 0 at 605", "range 1000,12000 1 ship 3 at 719"}));
    }

    // Records on and beside the edges of cells and squares, squares whose
    // edges fall on cell edges or within cells, positions without a number:
    // the ship selection and the Search list what reading lists, each day
    // holding one position of the ship.
    void cellEdgesDecideAsTheMatcherDoes()
    {
        Workspace ws;
        QTemporaryDir cache;
        SettledIndex index(cache.path());
        const char *const lats[] = {"33.97", "33.972", "33.975", "33.98", "33.985", "33.99", "33.995", "34", ""};
        const char *const lons[] = {"130.975", "130.985", "130.99", "x"};
        int day = 0;
        for (const char *lat : lats) {
            for (const char *lon : lons) {
                ++day;
                writeSettled(ws, QString("2011%1_AIS_FMT.log").arg(day, 4, 10, QChar('0')),
                             logRecord("01:00:00", "431000001", "A", lat, lon) +
                                 logRecord("01:00:01", "431000002", "B", "34", "131"));
            }
        }
        const char *const squares[][3] = {{"33.985", "130.985", "0.01"}, {"33.98", "130.98", "0.01"},
                                          {"33.975", "130.985", "0.005"}, {"0", "0", "0"}};
        for (const auto &q : squares) {
            const auto area = [&](FakeHost &h) {
                h.check1[0] = true;
                h.text1[4] = q[0];
                h.text1[5] = q[1];
                h.text1[6] = q[2];
            };
            const auto mmsiAndArea = [&](FakeHost &h) {
                area(h);
                h.text1[0] = "431000001";
            };
            const QStringList days = pass(nullptr, area, "431000001 A");
            const QStringList ships = pass(nullptr, mmsiAndArea);
            for (int warm = 0; warm < 2; ++warm) {
                QCOMPARE(pass(&index, area, "431000001 A"), days);
                QCOMPARE(pass(&index, mmsiAndArea), ships);
            }
        }
    }

    // Area passes decide by the cells a ship's positions fall in, not by its
    // day's box: a ship that passes by a square without a record in it costs
    // the Search no read, and a ship with a cell well inside a square is
    // listed by the ship selection without a read. The tampered summaries
    // show which passes answered from the index.
    void areaPassesDecideByCells()
    {
        Workspace ws;
        QTemporaryDir cache;
        SettledIndex index(cache.path());
        // Ship 2's box covers area C, its records lie north-west and south-east of it.
        writeSettled(ws, "20110401_AIS_FMT.log", logRecord("01:00:00", "431000001", "A", "33.9683", "130.9747"));
        writeSettled(ws, "20110402_AIS_FMT.log",
                     logRecord("01:00:00", "431000002", "B", "34.10", "130.90") +
                         logRecord("02:00:00", "431000001", "A", "33.9683", "130.9747") +
                         logRecord("03:00:00", "431000002", "B", "33.80", "131.10"));
        const auto areaC = [](FakeHost &h) {
            h.check1[2] = true;
            h.text1[12] = "33.9683";
            h.text1[13] = "130.9747";
            h.text1[14] = "0.02";
        };
        const QStringList plain = pass(nullptr, areaC);
        QCOMPARE(plain, QStringList{"431000001 A"});
        QCOMPARE(pass(&index, areaC), plain);
        tamperName(index, "20110402_AIS_FMT.log", "INDEXED");
        QCOMPARE(pass(&index, areaC), QStringList{"431000001 INDEXED"});

        // Two squares, one around each of ship 2's positions: one of its
        // records in a square lists the day, though its box lies in neither.
        const auto twoSquares = [](FakeHost &h) {
            h.check1[0] = h.check1[1] = true;
            h.text1[4] = "34.1";
            h.text1[5] = "130.9";
            h.text1[6] = "0.05";
            h.text1[9] = "33.8";
            h.text1[10] = "131.1";
            h.text1[11] = "0.05";
        };
        QCOMPARE(pass(&index, twoSquares, "431000002 B"), pass(nullptr, twoSquares, "431000002 B"));
        const auto setCells = [&](std::size_t ship, std::vector<std::uint64_t> cells) {
            auto summary = storedSummary(index, "20110402_AIS_FMT.log");
            QVERIFY(summary && summary->ships.size() == 2);
            summary->ships[ship].cells = std::move(cells);
            withDatabase(index, [&](QSqlQuery &q) {
                q.prepare("UPDATE days SET summary = ? WHERE name = '20110402_AIS_FMT.log'");
                q.addBindValue(Index::encodeSummary(*summary));
                QVERIFY(q.exec());
            });
        };
        // Ship 1, in area C, placed by its cells alone inside the first square:
        // listed unread. Ship 2 placed outside it: skipped unread.
        setCells(0, {cellKey(3410, 13090)});
        QCOMPARE(pass(nullptr, twoSquares, "431000001 A"), QStringList{});
        QCOMPARE(pass(&index, twoSquares, "431000001 A"), QStringList{"20110402_AIS_FMT.log"});
        setCells(1, {cellKey(3395, 13000)});
        QCOMPARE(pass(&index, twoSquares, "431000002 B"), QStringList{});
    }
};

QTEST_GUILESS_MAIN(TestDayIndex)
#include "test_dayindex.moc"

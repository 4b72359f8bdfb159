// Period passes whose day logs are read ahead by worker threads give exactly
// what one thread gives: every pass kind, with the day index off, cold and
// warm, over random logs whose records run across file ends, with stand-in
// times, an unreadable file in the middle, the result limit and Escape.
#include "engine/dayindex.h"
#include "engine/export.h"
#include "engine/module1.h"
#include "engine/passageformat.h"
#include "engine/passages.h"
#include "engine/report.h"
#include "fakehost.h"
#include "index/summarycodec.h"
#include "settledindex.h"
#include "workspace.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace Module1;

namespace {

// A day of random records near and in the squares below, in every shape the
// reader meets: fields before the first separator (they join the record the
// file before left), a record without MMSI at the end (carried into the next
// file), separators without a readable time, CR LF and LF.
QByteArray randomDay(QRandomGenerator &r, int ships)
{
    const char *const lats[] = {"33.9", "34", "34.1", "34.05", "33.95", "", "abc", "40"};
    const char *const lons[] = {"130.9", "131", "131.1", "131.05", "131.02", "", "x"};
    const char *const names[] = {"", "", "ALPHA", "BRAVO", "CHARLIE"};
    const QByteArray eol = r.bounded(2) ? "\r\n" : "\n";
    QByteArray log;
    if (r.bounded(3) == 0) {
        log += "NAME                = EARLY" + eol + "LATITUDE            = 34.02" + eol;
        if (r.bounded(2))
            log += "MMSI NUMBER         = 431000001" + eol;
    }
    int seconds = int(r.bounded(600));
    const int records = int(r.bounded(60)) + ships / 8;
    for (int i = 0; i < records; ++i) {
        seconds = std::min(86399, seconds + int(r.bounded(3000)));
        const QByteArray time = QTime(0, 0).addSecs(seconds).toString("HH:mm:ss").toLatin1();
        log += (r.bounded(10) == 0 ? QByteArray("--------------------") : "-------------------- " + time) + eol;
        if (r.bounded(15) != 0)
            log += "MMSI NUMBER         = " + QByteArray::number(431000000 + r.bounded(ships)) + eol;
        if (const QByteArray n = names[r.bounded(5)]; !n.isEmpty())
            log += "NAME                = " + n + eol;
        log += "LONGITUDE           = " + QByteArray(lons[r.bounded(7)]) + eol;
        log += "LATITUDE            = " + QByteArray(lats[r.bounded(8)]) + eol;
        if (r.bounded(2))
            log += "SPEED OVER GROUND   = " + QByteArray::number(r.bounded(150) / 10.0) + " [knots]" + eol;
        if (r.bounded(4) == 0)
            log += "DESTINATION         = PORT " + QByteArray::number(r.bounded(3)) + eol;
    }
    if (r.bounded(3) == 0)
        log += "--------------------" + eol + "NAME                = LATE" + eol + "LONGITUDE           = 131.01" + eol;
    return log;
}

void writeDays(Workspace &ws, quint32 seed, int days, int ships)
{
    QRandomGenerator r(seed);
    for (int d = 1; d <= days; ++d) {
        const QString name = QString("201104%1_AIS_FMT.log").arg(d, 2, 10, QLatin1Char('0'));
        if (d == days / 2) {
            // Listed as a file, fails at its first read.
            QFile::link("/proc/self/mem", ws.logs() + "/" + name);
            continue;
        }
        if (r.bounded(8) != 0)
            ws.write("logs/" + name, randomDay(r, ships));
    }
}

class CollectingSink : public RecordSink
{
public:
    QStringList lines;
    bool take(const CurrentRecord &rec, const QString &fileName) override
    {
        lines << fileName + ' ' + QString::fromStdString(rec.recTime + ' ' + rec.recMmsi + ' ' + rec.recName + ' ' +
                                                         rec.recLatitude + ' ' + rec.recLongitude + ' ' +
                                                         rec.recSpeed + ' ' + rec.recDestination);
        return false;
    }
};

// The period from April 1st to `last`, and area A around 34 N 131 E.
void setCriteria(FakeHost &h, const QString &last)
{
    h.text1[7] = "20110401";
    h.text1[8] = last;
    h.check1[0] = true;
    h.text1[4] = "34";
    h.text1[5] = "131";
    h.text1[6] = "0.05";
}

struct Setup
{
    int jobs = 1;
    DayIndex *index = nullptr;
    // The file whose first event-loop turn the user presses Escape in, for
    // the Search; empty: never.
    QString escapeIn;
    // The file in whose turns the user ends the period on the 20th, as the
    // workers read the days after it.
    QString shortenIn;
    // The file in whose turns the user moves and widens the area, after the
    // workers judged that file's records and the next by the old one.
    QString editIn;
};

// Everything a session of passes shows: the Search with the ship selection
// it runs, the records, the passages and the report, with what each left unread.
QStringList session(const Setup &s)
{
    FakeHost h;
    setCriteria(h, "20110430");
    resetState();
    setHost(&h);
    setDayIndex(s.index);
    setReadJobs(s.jobs);
    QStringList out;
    const auto note = [&](const QString &what) {
        out << what << h.ships << QString("files:") << h.files << passDetails(passReport)
            << QString("limit %1").arg(h.limitMessages);
        passReport = PassReport{};
    };

    h.onEvents = [&] {
        h.stopOnEvents = !s.escapeIn.isEmpty() && h.status.endsWith(s.escapeIn);
        if (!s.shortenIn.isEmpty() && h.status.endsWith(s.shortenIn))
            h.text1[8] = "20110420";
        if (!s.editIn.isEmpty() && h.status.endsWith(s.editIn)) {
            h.text1[4] = "34.05";
            h.text1[6] = "0.08";
        }
    };
    searchCommand();
    h.onEvents = nullptr;
    h.stopOnEvents = false;
    note("search");
    if (h.ships.size() > 1) {
        h.selectShip(1);
        note("selection");
    }

    CollectingSink sink;
    exportPeriod(sink);
    out << sink.lines;
    note("records");

    PassageOptions options;
    for (const Passage &p : passagesPeriod(options))
        out << passageValues(p, std::nullopt).join(',');
    note("passages");

    PeriodFigures figures;
    figures.first = QDate(2011, 4, 1);
    figures.last = QDate(2011, 4, 30);
    figures.now = QDateTime(QDate(2012, 1, 1), QTime(0, 0));
    stationPass(figures);
    out << QString::fromUtf8(reportText(computeReport(figures, {}), nullptr, true));
    note("report");

    setReadJobs(0);
    setDayIndex(nullptr);
    setHost(nullptr);
    return out;
}

} // namespace

class TestParallel : public QObject
{
    Q_OBJECT
private slots:
    void everyPassGivesWhatOneThreadGives_data();
    void everyPassGivesWhatOneThreadGives();
    void aFileTakenUpFromItsWorkerIsSummarisedAlike();
};

void TestParallel::everyPassGivesWhatOneThreadGives_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("ships");
    QTest::addColumn<QString>("escapeIn");
    QTest::addColumn<QString>("shortenIn");
    QTest::addColumn<QString>("editIn");
    QTest::newRow("few ships") << 1u << 12 << QString() << QString() << QString();
    QTest::newRow("few ships, other logs") << 2u << 30 << QString() << QString() << QString();
    // More ships than the list's limit of 1000: the Search stops partway.
    QTest::newRow("limit") << 3u << 4000 << QString() << QString() << QString();
    QTest::newRow("Escape in the first day") << 4u << 30 << "20110401_AIS_FMT.log" << QString() << QString();
    QTest::newRow("Escape in the middle") << 4u << 30 << "20110420_AIS_FMT.log" << QString() << QString();
    QTest::newRow("Escape in the last day") << 4u << 30 << "20110430_AIS_FMT.log" << QString() << QString();
    QTest::newRow("period shortened") << 5u << 30 << QString() << "20110418_AIS_FMT.log" << QString();
    QTest::newRow("area edited") << 6u << 30 << QString() << QString() << "20110410_AIS_FMT.log";
    QTest::newRow("area edited, other logs") << 7u << 60 << QString() << QString() << "20110403_AIS_FMT.log";
}

void TestParallel::everyPassGivesWhatOneThreadGives()
{
    QFETCH(quint32, seed);
    QFETCH(int, ships);
    QFETCH(QString, escapeIn);
    QFETCH(QString, shortenIn);
    QFETCH(QString, editIn);
    Workspace ws;
    writeDays(ws, seed, 30, ships);
    const QStringList expected = session({1, nullptr, escapeIn, shortenIn, editIn});
    QVERIFY(expected.contains(QStringLiteral("records")));
    if (ships > 1000)
        QVERIFY(!expected.contains(QStringLiteral("limit 0")));
    if (!shortenIn.isEmpty())
        QVERIFY(!expected.join('\n').contains(QStringLiteral("20110425")));
    if (!escapeIn.isEmpty())
        QVERIFY(expected.join('\n').contains(QStringLiteral("stopped at ") + escapeIn));

    // The summaries a cold pass stored, byte for byte.
    const auto stored = [](SettledIndex &index) {
        QList<QByteArray> out;
        for (const QString &name : QDir("../logs").entryList({"*_AIS_FMT.log"}, QDir::Files, QDir::Name)) {
            const DayIndex::Lookup found = index.lookup("../logs/", name);
            out << name.toUtf8() + (found.summary ? Index::encodeSummary(*found.summary) : QByteArray());
        }
        return out;
    };
    QList<QByteArray> expectedSummaries;
    for (const int jobs : {1, 2, 8}) {
        QTemporaryDir dir;
        SettledIndex index(dir.path());
        for (const char *run : {"no index", "cold", "warm"}) {
            const QStringList got =
                session({jobs, QByteArray(run) == "no index" ? nullptr : &index, escapeIn, shortenIn, editIn});
            if (got != expected) {
                for (qsizetype i = 0; i < std::min(got.size(), expected.size()); ++i)
                    QVERIFY2(got[i] == expected[i], qPrintable(QString("%1 jobs, %2: line %3: %4 | %5")
                                                                   .arg(jobs).arg(run).arg(i).arg(got[i], expected[i])));
                QCOMPARE(got.size(), expected.size());
            }
            if (QByteArray(run) == "cold") {
                if (jobs == 1)
                    expectedSummaries = stored(index);
                else
                    QVERIFY2(stored(index) == expectedSummaries, qPrintable(QString("%1 jobs").arg(jobs)));
            }
        }
    }
}

// The user edits the area while the workers judge records by the old one, in
// turns that fall between a worker's chunks: the pass reads the rest of the
// file itself. Whatever the moment, the summaries it stores are those of a
// pass without edits, as summaries hang on the file alone; a record replayed
// and read again, or skipped, would show in the counts.
void TestParallel::aFileTakenUpFromItsWorkerIsSummarisedAlike()
{
    Workspace ws;
    // Days of about 7,500 records: several chunks of the summary's notes.
    writeDays(ws, 8, 6, 60000);
    const auto summaries = [](int editAtTurn) {
        QTemporaryDir dir;
        SettledIndex index(dir.path());
        FakeHost h;
        setCriteria(h, "20110406");
        // One ship: the list stays far from its limit.
        h.text1[0] = "431000005";
        resetState();
        setHost(&h);
        setDayIndex(&index);
        setReadJobs(editAtTurn < 0 ? 1 : 2);
        int turns = 0;
        h.onEvents = [&] {
            if (editAtTurn < 0 || !h.status.endsWith("20110402_AIS_FMT.log"))
                return;
            // Each turn outlasts the 10 ms the pass waits between turns, so
            // one comes at every chunk.
            QThread::msleep(11);
            if (++turns == editAtTurn) {
                h.text1[0] = "431000007";
                h.text1[4] = "34.05";
                h.text1[6] = "0.08";
            }
        };
        searchCommand();
        setReadJobs(0);
        setDayIndex(nullptr);
        setHost(nullptr);
        QList<QByteArray> out;
        for (const QString &name : QDir("../logs").entryList({"*_AIS_FMT.log"}, QDir::Files, QDir::Name)) {
            const DayIndex::Lookup found = index.lookup("../logs/", name);
            out << name.toUtf8() + (found.summary ? Index::encodeSummary(*found.summary) : QByteArray());
        }
        return out;
    };
    const QList<QByteArray> expected = summaries(-1);
    for (const int turn : {1, 2, 3, 5})
        QVERIFY2(summaries(turn) == expected, qPrintable(QString("edit in turn %1").arg(turn)));
}

QTEST_GUILESS_MAIN(TestParallel)
#include "test_parallel.moc"

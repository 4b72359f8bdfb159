// Passages through the areas: what one is, hand-checked on a small week, and
// the same passages with the day index as without it, cold and warm.
#include "engine/dayindex.h"
#include "engine/module1.h"
#include "engine/passageformat.h"
#include "engine/passages.h"
#include "fakehost.h"
#include "settledindex.h"
#include "workspace.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace Module1;

namespace {

QByteArray fix(const QByteArray &time, const QByteArray &mmsi, const QByteArray &lat, const QByteArray &lon,
               const QByteArray &speed = {}, const QByteArray &name = {})
{
    return logRecord(time, mmsi, name, lat, lon, speed);
}

// Passes the index's summaries on with every last name replaced: a passage
// that shows it took its name from a day the pass skipped.
class MarkingIndex : public DayIndex
{
public:
    explicit MarkingIndex(DayIndex &inner) : m_inner(inner) {}
    Lookup lookup(const QString &folder, const QString &fileName) override
    {
        Lookup l = m_inner.lookup(folder, fileName);
        if (l.summary) {
            for (ShipSummary &s : l.summary->ships)
                s.lastName = s.lastName.empty() ? "" : "FROM INDEX";
        }
        return l;
    }
    void store(const QString &folder, const QString &fileName, const DaySummary &summary) override
    {
        m_inner.store(folder, fileName, summary);
    }

private:
    DayIndex &m_inner;
};

struct Run
{
    QString first = "2011", last = "2012";
    QString mmsi;
    std::array<std::array<QString, 3>, 3> areas; // lat, lon, range; empty: off
    int gap = 30;
};

QStringList passages(const Run &run, DayIndex *index, std::vector<Passage> *out = nullptr)
{
    FakeHost h;
    h.text1[0] = run.mmsi;
    h.text1[7] = run.first;
    h.text1[8] = run.last;
    const int fields[3][3] = {{4, 5, 6}, {9, 10, 11}, {12, 13, 14}};
    for (int k = 0; k < 3; ++k) {
        h.check1[k] = !run.areas[k][0].isEmpty();
        for (int f = 0; f < 3; ++f)
            h.text1[fields[k][f]] = run.areas[k][f];
    }
    resetState();
    setHost(&h);
    setDayIndex(index);
    PassageOptions options;
    options.gapMinutes = run.gap;
    options.keepPoints = true;
    std::vector<Passage> result = passagesPeriod(options);
    setDayIndex(nullptr);
    setHost(nullptr);
    QStringList lines;
    for (const Passage &p : result) {
        QStringList points;
        for (const PassagePoint &q : p.points)
            points << QString("%1/%2").arg(q.latitude).arg(q.longitude);
        lines << passageValues(p, std::nullopt).join(',') + " " + p.entryFile + " " + points.join(' ');
    }
    if (out)
        *out = std::move(result);
    return lines;
}

// A week of random tracks across and beside three squares, some days missing.
QByteArray randomDay(QRandomGenerator &r)
{
    const char *const mmsis[] = {"431000001", "431000002", "431000003", "431000004"};
    const char *const lats[] = {"33.9", "34", "34.1", "34.05", "33.8", "34.3", "33.95", "", "abc", "40", "20"};
    const char *const lons[] = {"130.9", "131", "131.1", "131.05", "130.7", "131.3", "131.02", "", "x", "20"};
    const char *const speeds[] = {"", "0.1", "0.4", "8", "12.5", "x"};
    const char *const names[] = {"", "", "", "ALPHA", "BRAVO"};
    QByteArray log;
    // A quiet day, far from every square, for the index to skip.
    const bool far = r.bounded(3) == 0;
    int seconds = int(r.bounded(3)) * 41000;
    const int records = int(r.bounded(30));
    for (int i = 0; i < records; ++i) {
        seconds = std::min(86399, seconds + int(r.bounded(2400)));
        const QByteArray time =
            QTime(0, 0).addSecs(seconds).toString("HH:mm:ss").toLatin1();
        QByteArray rec = r.bounded(12) == 0 ? QByteArray("--------------------\r\n")
                                            : "-------------------- " + time + "\r\n";
        rec += "MMSI NUMBER         = " + QByteArray(mmsis[r.bounded(4)]) + "\r\n";
        if (const QByteArray n = names[r.bounded(5)]; !n.isEmpty())
            rec += "NAME                = " + n + "\r\n";
        rec += "LONGITUDE           = " + QByteArray(far ? "20" : lons[r.bounded(10)]) + "\r\n";
        rec += "LATITUDE            = " + QByteArray(far ? "20" : lats[r.bounded(11)]) + "\r\n";
        if (const QByteArray s = speeds[r.bounded(6)]; !s.isEmpty())
            rec += "SPEED OVER GROUND   = " + s + " [knots]\r\n";
        log += rec;
    }
    return log;
}

} // namespace

class TestPassages : public QObject
{
    Q_OBJECT

private slots:
    void aWeekByHand()
    {
        Workspace ws;
        // A: 33.9..34.1 x 130.9..131.1; B overlaps its north half.
        ws.writeLog("20110401_AIS_FMT.log",
                    // Through A and B from the south, on the edges; a position without a number.
                    fix("10:00:00", "431000001", "33.8", "131", "10", "ALPHA") +
                        fix("10:10:00", "431000001", "33.9", "131", "10") +
                        fix("10:20:00", "431000001", "34", "131", "12") +
                        fix("10:25:00", "431000001", "abc", "131", "50") +
                        fix("10:30:00", "431000001", "34.15", "131", "14") +
                        fix("10:40:00", "431000001", "34.3", "131", "14") +
                        // At anchor in A, with one jump to 40N that is no fix, then a silence.
                        fix("11:00:00", "431000002", "33.95", "130.95", "0.2") +
                        fix("11:06:00", "431000002", "33.95", "130.95", "0.1") +
                        fix("11:07:00", "431000002", "40", "130.95", "0.1") +
                        fix("11:08:00", "431000002", "33.95", "130.95", "0.3") +
                        fix("11:11:00", "431000002", "33.951", "130.95", "0.2") +
                        fix("12:00:00", "431000002", "33.95", "130.95", "") +
                        // Across midnight, west to east.
                        fix("23:50:00", "431000003", "33.95", "130.8", "9") +
                        fix("23:55:00", "431000003", "33.95", "130.95", "9"));
        ws.writeLog("20110402_AIS_FMT.log",
                    fix("00:05:00", "431000003", "33.95", "131", "9") +
                        fix("00:10:00", "431000003", "33.95", "131.2", "9", "CHARLIE") +
                        fix("23:58:00", "431000004", "34", "131", "5"));
        // 20110403 is missing: the passage of 431000004 ends with its day.
        ws.writeLog("20110404_AIS_FMT.log",
                    fix("00:01:00", "431000004", "34", "131", "5") +
                        fix("08:00:00", "431000005", "34.3", "131", "7") +
                        // A separator without a time: a fix without one.
                        "--------------------\r\nMMSI NUMBER         = 431000005\r\n"
                        "LONGITUDE           = 131\r\nLATITUDE            = 34.05\r\n" +
                        fix("08:10:00", "431000005", "33.7", "131", "7"));
        Run run;
        run.areas[0] = {"34", "131", "0.1"};
        run.areas[1] = {"34.1", "131", "0.1"};
        const QStringList expected = {
            "A,431000001,ALPHA,2011-04-01T10:10:00,2011-04-01T10:20:00,600,2,10,11,12,S,N,0.0,33.9,131,34,131,no "
            "20110401_AIS_FMT.log 33.9/131 34/131",
            "B,431000001,ALPHA,2011-04-01T10:20:00,2011-04-01T10:30:00,600,2,12,13,14,S,N,0.0,34,131,34.15,131,no "
            "20110401_AIS_FMT.log 34/131 34.15/131",
            "A,431000002,,2011-04-01T11:00:00,2011-04-01T11:11:00,660,4,0.1,0.2,0.3,-,-,0.0,33.95,130.95,33.951,130.95,"
            "yes 20110401_AIS_FMT.log 33.95/130.95 33.95/130.95 33.95/130.95 33.951/130.95",
            "A,431000002,,2011-04-01T12:00:00,2011-04-01T12:00:00,0,1,,,,-,-,,33.95,130.95,33.95,130.95,no "
            "20110401_AIS_FMT.log 33.95/130.95",
            "A,431000003,CHARLIE,2011-04-01T23:55:00,2011-04-02T00:05:00,600,2,9,9,9,W,E,90.0,33.95,130.95,33.95,131,no "
            "20110401_AIS_FMT.log 33.95/130.95 33.95/131",
            "A,431000004,,2011-04-02T23:58:00,2011-04-02T23:58:00,0,1,5,5,5,-,-,,34,131,34,131,no "
            "20110402_AIS_FMT.log 34/131",
            "B,431000004,,2011-04-02T23:58:00,2011-04-02T23:58:00,0,1,5,5,5,-,-,,34,131,34,131,no "
            "20110402_AIS_FMT.log 34/131",
            "A,431000004,,2011-04-04T00:01:00,2011-04-04T00:01:00,0,1,5,5,5,-,-,,34,131,34,131,no "
            "20110404_AIS_FMT.log 34/131",
            "B,431000004,,2011-04-04T00:01:00,2011-04-04T00:01:00,0,1,5,5,5,-,-,,34,131,34,131,no "
            "20110404_AIS_FMT.log 34/131",
            "A,431000005,,,,,1,,,,N,S,,34.05,131,34.05,131,no 20110404_AIS_FMT.log 34.05/131",
            "B,431000005,,,,,1,,,,N,S,,34.05,131,34.05,131,no 20110404_AIS_FMT.log 34.05/131",
        };
        std::vector<Passage> result;
        const QStringList got = passages(run, nullptr, &result);
        if (got != expected)
            qWarning() << got;
        QCOMPARE(got, expected);

        // Per day and side, in UTC nine hours behind: the midnight passage falls on the 1st.
        const QByteArray counts = formatCounts(countPassages(result, Bucket::Day, 9 * 60), PassageFormat::Csv);
        QCOMPARE(counts, QByteArray("bucket,area,entrySide,exitSide,passages\r\n"
                                    "2011-04-01,A,-,-,2\r\n"
                                    "2011-04-01,A,S,N,1\r\n"
                                    "2011-04-01,A,W,E,1\r\n"
                                    "2011-04-01,B,S,N,1\r\n"
                                    "2011-04-02,A,-,-,1\r\n"
                                    "2011-04-02,B,-,-,1\r\n"
                                    "2011-04-03,A,-,-,1\r\n"
                                    "2011-04-03,B,-,-,1\r\n"
                                    "2011-04-04,A,N,S,1\r\n"
                                    "2011-04-04,B,N,S,1\r\n"));
    }

    // Escape at the first file: the passages so far, and the notice's words for the rest.
    void aStoppedPassSaysSo()
    {
        Workspace ws;
        ws.writeLog("20110401_AIS_FMT.log", fix("10:00:00", "431000001", "34", "131"));
        ws.writeLog("20110402_AIS_FMT.log", fix("10:00:00", "431000001", "34", "131"));
        FakeHost h;
        h.text1[7] = "2011";
        h.text1[8] = "2012";
        h.check1[0] = true;
        h.text1[4] = "34", h.text1[5] = "131", h.text1[6] = "1";
        h.stopOnEvents = true;
        resetState();
        setHost(&h);
        bool stopped = false;
        const std::vector<Passage> result = passagesPeriod({}, &stopped);
        setHost(nullptr);
        QVERIFY(stopped);
        QVERIFY(result.empty());
        QCOMPARE(passReport.stops.size(), std::size_t(1));
        QCOMPARE(passReport.stops[0].unread.size(), 2);
    }

    // The index leaves a day unread when its ships are heard far in time from
    // where they pass a square, and reads it when they are heard near: by the
    // hours of each ship, and only when every record of both days has a time.
    void aDayIsReadOnlyWhenItsShipsAreNear()
    {
        Workspace ws;
        const QByteArray west = "130.85", inside = "130.95", east = "131.1";
        const auto day = [&](const QString &name, const QByteArray &log) {
            ws.writeLog(name, log);
            ws.settleLog(name);
        };
        // X outside at 23:40, inside 25 minutes later: the day before gives the side.
        day("20110405_AIS_FMT.log", fix("10:00:00", "431000011", "33.95", "130.5") +
                                        fix("23:40:00", "431000011", "33.95", west));
        day("20110406_AIS_FMT.log", fix("00:05:00", "431000011", "33.95", inside) +
                                        fix("00:15:00", "431000011", "33.95", east));
        // Y heard only at 10:00 the day before: that day is skipped.
        day("20110407_AIS_FMT.log", fix("10:00:00", "431000012", "20", "20", "", "YANKEE"));
        day("20110408_AIS_FMT.log", fix("00:05:00", "431000012", "33.95", inside) +
                                        fix("00:15:00", "431000012", "33.95", east));
        // V last heard inside at noon: the next day, which hears it after
        // midnight, cannot close its passage. W inside at 23:50 leaves north at 00:10.
        day("20110409_AIS_FMT.log", fix("12:00:00", "431000013", "33.95", inside));
        day("20110410_AIS_FMT.log", fix("00:10:00", "431000013", "20", "20", "", "VICTOR"));
        day("20110411_AIS_FMT.log", fix("23:50:00", "431000014", "33.95", inside));
        day("20110412_AIS_FMT.log", fix("00:10:00", "431000014", "34.1", inside));
        // T's last fix has no time of its own: it stands at 23:50, near midnight,
        // whatever its hours say.
        day("20110413_AIS_FMT.log", fix("10:00:00", "431000015", "33.95", "130.5") +
                                        fix("23:50:00", "431000001", "20", "20") +
                                        "--------------------\r\nMMSI NUMBER         = 431000015\r\n"
                                        "LONGITUDE           = " + west + "\r\nLATITUDE            = 33.95\r\n");
        day("20110414_AIS_FMT.log", fix("00:05:00", "431000015", "33.95", inside) +
                                        fix("00:15:00", "431000015", "33.95", east));
        // Two logs of one date share the clock.
        day("20110415_AIS_FMT.log", fix("23:40:00", "431000016", "33.95", west));
        day("20110415b_AIS_FMT.log", fix("23:45:00", "431000016", "33.95", inside) +
                                         fix("23:50:00", "431000016", "33.95", east));
        Run run;
        run.areas[0] = {"33.95", "130.95", "0.05"};
        const QStringList plain = passages(run, nullptr);
        QCOMPARE(plain.size(), 6);
        QStringList sides;
        for (const QString &line : plain)
            sides << line.section(',', 1, 1) + line.section(',', 10, 11);
        QCOMPARE(sides, QStringList({"431000011W,E", "431000012-,E", "431000013-,-", "431000014-,N", "431000015W,E",
                                     "431000016W,E"}));
        for (const int jobs : {1, 2}) {
            setReadJobs(jobs);
            QTemporaryDir cache;
            SettledIndex sqlite(cache.path());
            MarkingIndex marking(sqlite);
            QCOMPARE(passages(run, &sqlite), plain);
            QCOMPARE(passages(run, &sqlite), plain);
            // The days of Y's and V's names went unread; so did the others' days
            // with nothing near, which leave no name.
            QStringList names;
            for (const QString &line : passages(run, &marking))
                names << line.section(',', 2, 2);
            QCOMPARE(names, QStringList({"", "FROM INDEX", "FROM INDEX", "", "", ""}));
        }
        setReadJobs(0);
    }

    // Random weeks and criteria: the index, cold and warm, changes nothing,
    // and a warm index does skip days.
    void theIndexChangesNothing()
    {
        int skipped = 0, total = 0;
        for (quint32 trial = 0; trial < 40; ++trial) {
            Workspace ws;
            QTemporaryDir cache;
            SettledIndex sqlite(cache.path());
            MarkingIndex marking(sqlite);
            QRandomGenerator r(trial);
            for (int d = 1; d <= 6; ++d) {
                if (r.bounded(6) != 0) {
                    const QString name = QString("2011040%1_AIS_FMT.log").arg(d);
                    ws.writeLog(name, randomDay(r));
                    ws.settleLog(name);
                }
            }
            const char *const squares[][3] = {{"34", "131", "0.1"}, {"34.1", "131", "0.05"}, {"33.9", "130.9", "0"},
                                              {"34", "131", "1"},   {"50", "50", "1"}};
            for (int s = 0; s < 4; ++s) {
                Run run;
                run.gap = s == 3 ? 720 : int(r.bounded(2)) * 25 + 5;
                run.mmsi = r.bounded(4) == 0 ? "431000002" : "";
                run.first = r.bounded(4) == 0 ? "20110402" : "2011";
                for (int k = 0; k < 3; ++k) {
                    if (r.bounded(2) == 0) {
                        const auto &q = squares[r.bounded(5)];
                        run.areas[k] = {q[0], q[1], q[2]};
                    }
                }
                const QStringList plain = passages(run, nullptr);
                const QStringList cold = passages(run, &sqlite);
                const QStringList warm = passages(run, &sqlite);
                if (cold != plain || warm != plain)
                    qWarning() << "trial" << trial << s << "\n" << plain << "\n" << cold << "\n" << warm;
                QCOMPARE(cold, plain);
                QCOMPARE(warm, plain);
                total += int(plain.size());
                skipped += passages(run, &marking).join('\n').count("FROM INDEX");
            }
        }
        QVERIFY(skipped > 0);
        QVERIFY2(total > 200, qPrintable(QString::number(total)));
    }
};

QTEST_GUILESS_MAIN(TestPassages)
#include "test_passages.moc"

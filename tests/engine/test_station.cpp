// The station report: silences to the second across midnight, missing days
// and the period's ends; range per sector with its plausibility rules; the
// same bytes whether the day figures come from the index or from the logs.
#include "engine/module1.h"
#include "engine/report.h"
#include "fakehost.h"
#include "index/summarycodec.h"
#include "settledindex.h"
#include "workspace.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Module1;

namespace {

QByteArray at(int h, int m, int s = 0)
{
    return QTime(h, m, s).toString(QStringLiteral("HH:mm:ss")).toLatin1();
}

// Records every five minutes from `from` to `to` (minutes of the day), of
// each MMSI given, without a position.
QByteArray everyFive(int from, int to, const QList<QByteArray> &mmsis)
{
    QByteArray log;
    for (int m = from; m <= to; m += 5) {
        for (const QByteArray &mmsi : mmsis)
            log += logRecord(at(m / 60, m % 60), mmsi);
    }
    return log;
}

const QByteArray kBase = "004310602", kAid = "993100001", kShip = "431000001";

} // namespace

class TestStation : public EngineTest
{
    Q_OBJECT

    PeriodFigures read(const QString &first, const QString &last)
    {
        m_host->text1[7] = first;
        m_host->text1[8] = last;
        PeriodFigures f;
        f.first = QDate::fromString(first, QStringLiteral("yyyyMMdd"));
        f.last = QDate::fromString(last, QStringLiteral("yyyyMMdd"));
        f.now = QDateTime(QDate(2030, 1, 1), QTime(0, 0));
        stationPass(f);
        return f;
    }

private slots:
    void silencesIndexOnAndOff()
    {
        // Fixed stations all day from 00:30; ships with a two-hour pause.
        writeLog("20110401_AIS_FMT.log", everyFive(30, 12 * 60, {kBase, kShip}) + everyFive(12 * 60 + 5, 14 * 60 - 5, {kBase}) +
                                             everyFive(14 * 60, 23 * 60 + 55, {kBase, kShip}));
        writeLog("20110402_AIS_FMT.log", everyFive(0, 23 * 60 + 50, {kBase, kShip}));
        writeLog("20110403_AIS_FMT.log", everyFive(15, 23 * 60 + 55, {kShip, kBase}));
        // 0404 has no log; 0405 hears only the fixed stations.
        writeLog("20110405_AIS_FMT.log", everyFive(0, 23 * 60 + 55, {kBase, kAid}));

        QTemporaryDir cache;
        SettledIndex index(cache.path());
        QByteArray texts[3];
        for (int run = 0; run < 3; ++run) {
            setDayIndex(run ? &index : nullptr);
            const StationReport r = computeReport(read("20110401", "20110405"), {});
            texts[run] = reportText(r, nullptr, true) + reportJson(r, nullptr, true);
            setDayIndex(nullptr);
            if (run)
                continue;
            using K = SilentStretch::Kind;
            const auto t = [](int d, int h, int m) { return QDateTime(QDate(2011, 4, d), QTime(h, m)); };
            const std::vector<std::tuple<K, QDateTime, QDateTime, bool, bool>> expected = {
                {K::NothingHeard, t(1, 0, 0), t(1, 0, 30), true, false},
                {K::FixedOnly, t(1, 12, 0), t(1, 14, 0), false, false},
                {K::NothingHeard, t(2, 23, 50), t(3, 0, 15), false, false}, // across midnight
                {K::NoLog, t(4, 0, 0), t(5, 0, 0), false, false},
                {K::FixedOnly, t(5, 0, 0), t(6, 0, 0), true, true},
            };
            QCOMPARE(r.silences.size(), expected.size());
            for (std::size_t i = 0; i < expected.size(); ++i) {
                const SilentStretch &s = r.silences[i];
                QCOMPARE(std::tuple(s.kind, s.start, s.end, s.fromPeriodStart, s.toPeriodEnd), expected[i]);
            }
            QCOMPARE(r.days[4].distinctByKind[int(MmsiKind::Ship)], 0);
            QCOMPARE(r.days[4].distinctByKind[int(MmsiKind::AidToNavigation)], 1);
            QCOMPARE(r.days[0].tenMinutes[3], 2u * 2);        // 00:30 and 00:35, two MMSIs each
            QCOMPARE(r.days[0].distinctPerHour[13], 1);       // the base station alone
            QCOMPARE(r.distinct, 3);
            QVERIFY(r.fixedStationsHeard);
        }
        QCOMPARE(texts[1], texts[0]);
        QCOMPARE(texts[2], texts[0]);

        // Without any fixed station a pause of the ships is not told apart.
        writeLog("20110406_AIS_FMT.log", everyFive(0, 23 * 60 + 55, {kShip}));
        const StationReport ships = computeReport(read("20110406", "20110406"), {});
        QVERIFY(!ships.fixedStationsHeard);
        QVERIFY(reportText(ships, nullptr, false).contains("cannot be told"));
    }

    void rangeBySectorAndItsRules()
    {
        // The station on a cell's centre: a position due north or due south
        // lies exactly on a sector's edge and belongs to the sector it opens.
        QByteArray log = "MMSI NUMBER         = 431000009\r\nLATITUDE            = 34.2\r\nLONGITUDE           = 131.0\r\n";
        for (int m = 0; m < 19; ++m)
            log += logRecord(at(0, m), kShip, {}, "34.105", "131.005");
        log += logRecord(at(0, 20), kShip, {}, "35.005", "131.005");   // 54 nm in two minutes
        log += logRecord(at(0, 45), kShip, {}, "34.505", "131.005");   // 24 nm in 27 minutes
        log += logRecord(at(1, 0), "431000002", {}, "33.505", "131.005");
        log += logRecord(at(1, 0), "431000003", {}, "91", "131.005");
        log += logRecord(at(1, 0), "431000004", {}, "40.005", "131.005");
        log += logRecord(at(1, 0), kAid, {}, "34.905", "131.005");
        // At anchor over a cell's edge: two cells, however often it crosses.
        for (int m = 0; m < 9; ++m)
            log += logRecord(at(2, m), "431000005", {}, m % 3 ? "32.9999" : "33.0001", "131.5");
        writeLog("20110407_AIS_FMT.log", log);

        ReportOptions options;
        options.station = GeoPoint{34.005, 131.005};
        options.maxRangeNm = 100;
        const StationReport r = computeReport(read("20110407", "20110407"), options);
        const SectorRange &north = r.sectors[0], &south = r.sectors[36];
        QCOMPARE(north.positions, 20);
        QCOMPARE(north.maxNm, distanceNm(34.005, 131.005, 34.505, 131.005));
        QCOMPARE(north.mmsi, std::string("431000001"));
        QCOMPARE(north.second, 45 * 60);
        QVERIFY(north.p95Nm > 5.9 && north.p95Nm <= 6.1); // 19 of the 20 lie 6 nm off
        QCOMPARE(south.positions, 1);
        QCOMPARE(r.sectors[71].positions + r.sectors[35].positions, 0);
        QCOMPARE(r.positions, 21 + 9);
        // Off the globe, without a time, too fast, beyond the range; the aid
        // to navigation is no position of the range at all.
        QCOMPARE(r.rejectedCounts, (std::array<long long, 4>{1, 1, 1, 1}));
        const auto reasonOf = [&](const char *mmsi) {
            for (const RejectedLine &x : r.rejected)
                if (x.mmsi == mmsi)
                    return x.reason;
            return QString();
        };
        QVERIFY(reasonOf("431000001").endsWith("kn from the ship's previous fix"));
        QVERIFY(reasonOf("431000004").endsWith("nm from the station, beyond 100"));
        QCOMPARE(reasonOf("431000003"), QStringLiteral("not on the globe"));
        QCOMPARE(reasonOf("431000009"), QStringLiteral("without a time"));

        // The figures keep through the index's encoding as they are.
        DaySummary d = read("20110407", "20110407").days.begin()->second;
        // Sorted by cell, the southernmost first; each with the ship's first fix in it.
        const RangeCell &south1 = d.station.range[0], &south2 = d.station.range[1];
        QCOMPARE(std::tuple(cellLatitude(south1.cell), south1.count, south1.second), std::tuple(3299, 6u, 2 * 3600 + 60));
        QCOMPARE(std::tuple(cellLatitude(south2.cell), south2.count, south2.second), std::tuple(3300, 3u, 2 * 3600));
        const auto back = Index::decodeSummary(Index::encodeSummary(d));
        QVERIFY(back);
        QVERIFY(back->station == d.station);
        QCOMPARE(back->ships[0].hours, d.ships[0].hours);
        // A damaged blob (checksum made right again) decodes or is refused, never more.
        const QByteArray blob = Index::encodeSummary(d);
        int decodedCount = 0;
        for (qsizetype i = 8; i < blob.size() - 8; ++i) {
            for (const char value : {'\x00', '\x7f', '\xff'}) {
                QByteArray damaged = blob;
                damaged[i] = value;
                const quint64 h = Index::summaryChecksum(damaged.constData(), std::size_t(damaged.size() - 8));
                for (int k = 0; k < 8; ++k)
                    damaged[damaged.size() - 8 + k] = char(h >> (8 * k));
                if (const auto decoded = Index::decodeSummary(damaged); decoded && ++decodedCount)
                    (void)computeReport({QDate(2011, 4, 7), QDate(2011, 4, 7), {{QDate(2011, 4, 7), *decoded}}, {}, {}}, options);
            }
        }
        QVERIFY(decodedCount > blob.size()); // the damage reached the figures, not only the checks
    }

    // A ship's runs beyond its last few, a cell's example on a tie, and a
    // ship's many cells come out alike whether the day's range is compact or
    // spread over the globe by one far fix.
    void rangeCompactOrSpread()
    {
        QByteArray log = logRecord(at(0, 0), "431000002", {}, "34.005", "131.005");
        // Five cells east a minute apart, then back to the first after it has
        // left the ship's recent runs.
        for (int m = 0; m < 6; ++m)
            log += logRecord(at(0, m), "431000001", {}, "34.005", QByteArray::number(131.005 + 0.01 * m, 'f', 3));
        log += logRecord(at(0, 10), "431000001", {}, "34.005", "131.005");
        log += logRecord(at(0, 11), "431000001", {}, "34.005", "131.005");
        // Twenty cells in no order, each fix too long after the last for a
        // speed, and a record without a position.
        std::vector<std::uint64_t> wandered;
        for (int i = 0; i < 20; ++i) {
            const QByteArray lat = QByteArray::number(33.0 + 0.01 * ((i * 7) % 20), 'f', 4);
            log += logRecord(at(1 + i * 31 / 60, i * 31 % 60), "431000005", {}, lat, "130.5");
            wandered.push_back(cellKey(cellOf(lat.toDouble()), cellOf(130.5)));
        }
        log += logRecord(at(12, 0), "431000005");
        wandered.push_back(cellKey(0, 0));
        std::sort(wandered.begin(), wandered.end());
        writeLog("20110408_AIS_FMT.log", log);
        writeLog("20110409_AIS_FMT.log", log + logRecord(at(13, 0), "431000009", {}, "-10.005", "-50.005"));

        // Read once with the index, which keeps the ships' cells too.
        QTemporaryDir cache;
        SettledIndex index(cache.path());
        setDayIndex(&index);
        read("20110408", "20110409");
        setDayIndex(nullptr);
        const auto compactStored = index.lookup("../logs/", "20110408_AIS_FMT.log").summary;
        const auto spreadStored = index.lookup("../logs/", "20110409_AIS_FMT.log").summary;
        QVERIFY(compactStored && spreadStored);
        const DaySummary &compact = *compactStored, &spread = *spreadStored;
        QCOMPARE(compact.ships[2].cells, wandered);
        QCOMPARE(spread.ships[2].cells, wandered);
        const RangeCell &first = compact.station.range[20];
        QCOMPARE(std::tuple(first.cell, first.count, first.ship, first.second),
                 std::tuple(cellKey(3400, 13100), 4u, 0u, 0));
        QCOMPARE(compact.station.range.size(), std::size_t(20 + 6));
        QCOMPARE(spread.station.range.size(), compact.station.range.size() + 1);
        QCOMPARE(cellLatitude(spread.station.range[0].cell), -1001);
        QVERIFY(std::equal(compact.station.range.begin(), compact.station.range.end(), spread.station.range.begin() + 1));
    }

    // The table of ships a day of very many leaves behind serves, and then
    // shrinks for, the ordinary days after it.
    void aDayOfManyShipsChangesNoOtherDay()
    {
        QByteArray many;
        for (int i = 0; i < 9000; ++i)
            many += logRecord(at(i / 3600, i / 60 % 60, i % 60), QByteArray::number(431000000 + i * 7), {}, "34.1", "131.1");
        const QByteArray ordinary = logRecord(at(0, 0), kShip, {}, "34.005", "131.005") +
                                    logRecord(at(0, 1), "431000002", "NAMED", "34.015", "131.005") +
                                    logRecord(at(0, 2), kShip, {}, "34.025", "131.015");
        writeLog("20110410_AIS_FMT.log", many);
        writeLog("20110411_AIS_FMT.log", ordinary);
        writeLog("20110412_AIS_FMT.log", ordinary);
        QTemporaryDir cache;
        SettledIndex index(cache.path());
        setDayIndex(&index);
        read("20110410", "20110412");
        setDayIndex(nullptr);
        const auto manyShips = index.lookup("../logs/", "20110410_AIS_FMT.log").summary;
        const auto inTheLargeTable = index.lookup("../logs/", "20110411_AIS_FMT.log").summary;
        const auto inTheShrunkTable = index.lookup("../logs/", "20110412_AIS_FMT.log").summary;
        QVERIFY(manyShips && inTheLargeTable && inTheShrunkTable);
        QCOMPARE(manyShips->ships.size(), std::size_t(9000));
        QCOMPARE(inTheLargeTable->ships.size(), std::size_t(2));
        QCOMPARE(Index::encodeSummary(*inTheLargeTable), Index::encodeSummary(*inTheShrunkTable));
    }

    // A Search with an area on hands the summary numbers, not texts: the
    // figures it leaves in the index are those a report's own reading makes.
    void figuresOfASearchWithAreasAreThoseOfReading()
    {
        QByteArray log = "LATITUDE            = 1\r\n" + logRecord("00:00:05", kShip, {}, "34.105", "131.005") +
                         logRecord("00:01:00", kShip, "NAMED", "", "131.005") + logRecord("00:02:00", kShip, {}, "35.5", "131.0") +
                         logRecord("99:00:00", kBase, {}, "34", "131") + logRecord("00:30:00", "431000002", {}, "x", "") +
                         logRecord("23:59:59", "43100000\xe7\xac\xac", {}, "33.9683", "130.9747");
        m_ws->writeLog("20110407_AIS_FMT.log", log);
        m_ws->settleLog("20110407_AIS_FMT.log");
        ReportOptions options;
        options.station = GeoPoint{34, 131};
        const QByteArray read = reportJson(computeReport(this->read("20110407", "20110407"), options), nullptr, true);

        QTemporaryDir cache;
        SettledIndex index(cache.path());
        setDayIndex(&index);
        m_host->text1[7] = m_host->text1[8] = "20110407";
        m_host->check1[0] = true;
        m_host->text1[4] = "34";
        m_host->text1[5] = "131";
        m_host->text1[6] = "5";
        searchCommand();
        QVERIFY(index.isCurrent("../logs/", "20110407_AIS_FMT.log"));
        const QByteArray fromIndex = reportJson(computeReport(this->read("20110407", "20110407"), options), nullptr, true);
        setDayIndex(nullptr);
        QCOMPARE(fromIndex, read);
    }

    void namesAndPeriods()
    {
        QDate first, last;
        QVERIFY(periodDates("2011", "2012", QDate(2030, 1, 1), first, last)); // the passes' text comparison
        QCOMPARE(std::pair(first, last), std::pair(QDate(2011, 1, 1), QDate(2011, 12, 31)));
        QVERIFY(periodDates("201102", "20110230", QDate(2030, 1, 1), first, last));
        QCOMPARE(std::pair(first, last), std::pair(QDate(2011, 2, 1), QDate(2011, 2, 28)));
        QVERIFY(periodDates("20110401", "20110430", QDate(2011, 4, 7), first, last));
        QCOMPARE(last, QDate(2011, 4, 7)); // no day after today
        QVERIFY(!periodDates("20110402", "20110401", QDate(2030, 1, 1), first, last));
        QVERIFY(!periodDates("", "2011", QDate(2030, 1, 1), first, last));

        QCOMPARE(mmsiKind("431000001"), MmsiKind::Ship);
        QCOMPARE(mmsiKind("004310602"), MmsiKind::BaseStation);
        QCOMPARE(mmsiKind("993100001"), MmsiKind::AidToNavigation);
        QCOMPARE(mmsiKind("111431001"), MmsiKind::SarAircraft);
        for (const char *other : {"970123456", "984310001", "043100001", "43100000", "43100000X", "1431000001"})
            QCOMPARE(mmsiKind(other), MmsiKind::Other);
        QCOMPARE(secondOfDay("23:59:59"), 86399);
        for (const char *bad : {"24:00:00", "12:60:00", "1:00:00", "12-00-00", "12:00:0x"})
            QCOMPARE(secondOfDay(bad), -1);
    }

private:
    void writeLog(const QString &name, const QByteArray &content) { m_ws->writeLog(name, content); }
};

QTEST_GUILESS_MAIN(TestStation)
#include "test_station.moc"

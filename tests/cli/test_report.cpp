// velkais-log report: the monitoring check's statuses, the outline file, and
// the report itself the same with the index and without.
#include "velkaislog.h"
#include "workspace.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

class TestReport : public QObject
{
    Q_OBJECT

    Workspace *m_ws = nullptr;

private slots:
    void init()
    {
        m_ws = new Workspace;
        // Ships until 06:00, the base station until 12:00.
        QByteArray log;
        for (int m = 0; m <= 12 * 60; m += 5) {
            const QByteArray t = QTime(m / 60, m % 60).toString("HH:mm:ss").toLatin1();
            log += logRecord(t, "004310602", {}, "33.95", "130.95");
            if (m <= 6 * 60)
                log += logRecord(t, "431000001", {}, QByteArray::number(33.95 + m * 0.0001), "131.0");
        }
        m_ws->writeLog("20110407_AIS_FMT.log", log);
        m_ws->settleLog("20110407_AIS_FMT.log");
    }
    void cleanup() { delete m_ws; }

    void checkStatuses()
    {
        const auto check = [](const char *now) {
            return velkaisLog({"report", "--check", "--last", "30m", "--now", now});
        };
        Run r = check("2011-04-07T05:00:00");
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.startsWith("OK - 14 records in the last 30 min | records=14"));
        r = check("2011-04-07T09:00:00");
        QCOMPARE(r.status, 1);
        QVERIFY(r.out.startsWith("WARNING - only base stations and aids to navigation heard"));
        r = check("2011-04-07T13:00:00");
        QCOMPARE(r.status, 2);
        QVERIFY(r.out.startsWith("CRITICAL - nothing heard since 12:00 |"));
        // Over midnight, into a day without a log yet.
        r = check("2011-04-08T00:10:00");
        QCOMPARE(r.status, 2);
        QVERIFY(r.out.startsWith("CRITICAL - nothing heard since 2011-04-07 12:00 |"));
        r = velkaisLog({"report", "--check", "--last", "30m", "--logs", "nowhere"});
        QCOMPARE(r.status, 3);
        QVERIFY(r.out.startsWith("UNKNOWN - cannot read the log folder nowhere"));
        r = velkaisLog({"report", "--check", "--last", "soon"});
        QCOMPARE(r.status, 3);
        // Without --check a usage error is the tool's usual status 2.
        QCOMPARE(velkaisLog({"report", "--from", "2011-04", "--to", "20110407"}).status, 2);
        QCOMPARE(velkaisLog({"search", "--from", "1", "--to", "2", "--rejected"}).status, 2);
    }

    void sameWithAndWithoutIndexAndOutline()
    {
        QTemporaryDir cache;
        const QString outline = m_ws->path("range.geojson");
        const QStringList args = {"report", "--from", "20110401", "--to", "20110410", "--station", "33.95,130.95",
                                  "--format", "json", "--now", "2011-04-10T00:00:00", "--index-dir", cache.path()};
        const Run plain = velkaisLog(args + QStringList{"--no-index"});
        QCOMPARE(plain.status, 0);
        for (int run = 0; run < 2; ++run)
            QCOMPARE(velkaisLog(args).out, plain.out);
        const QJsonObject report = QJsonDocument::fromJson(plain.out).object();
        QCOMPARE(report["days"].toArray().size(), 10);
        QJsonObject farthest;
        for (const QJsonValue &sector : report["range"].toArray())
            if (sector["max_nm"].toDouble() > farthest["max_nm"].toDouble())
                farthest = sector.toObject();
        QCOMPARE(farthest["mmsi"].toString(), QStringLiteral("431000001"));

        QCOMPARE(velkaisLog(args + QStringList{"--outline", outline}).status, 0);
        QFile f(outline);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QJsonArray features = QJsonDocument::fromJson(f.readAll()).object()["features"].toArray();
        QCOMPARE(features.size(), 3); // maximum, 95th percentile, the station
        QCOMPARE(features[0]["geometry"]["coordinates"].toArray()[0].toArray().size(), 145);

        // KML for the globe viewer, and the CSV's tables each under its header.
        const QString kml = m_ws->path("range.kml");
        QStringList csvArgs = args;
        csvArgs.replace(csvArgs.indexOf("json"), "csv");
        QCOMPARE(velkaisLog(csvArgs + QStringList{"--outline", kml, "--out", m_ws->path("r.csv")}).status, 0);
        QFile k(kml), c(m_ws->path("r.csv"));
        QVERIFY(k.open(QIODevice::ReadOnly) && c.open(QIODevice::ReadOnly));
        const QByteArray kmlText = k.readAll();
        QCOMPARE(kmlText.count("<Placemark>"), 3);
        QCOMPARE(kmlText.count(' ') > 2 * 144, true);
        const QList<QByteArray> rows = c.readAll().split('\n');
        QCOMPARE(rows.count("days,period,date,state,records,untimed,mmsis,ships,base_stations,aids_to_navigation,sar_aircraft,other"), 1);
        const auto strip = std::find_if(rows.begin(), rows.end(), [](const QByteArray &r) { return r.startsWith("strip,A,"); });
        QVERIFY(strip != rows.end());
        QCOMPARE(strip->count(','), 2 + 144);
    }

    // A period beside another: the differences, and every rejected position named.
    void compareAndRejected()
    {
        m_ws->writeLog("20110408_AIS_FMT.log", logRecord("00:00:00", "431000001", {}, "91", "131") +
                                                   logRecord("00:10:00", "431000001", {}, "33.95", "131.1"));
        const Run r = velkaisLog({"report", "--from", "20110407", "--to", "20110407", "--compare", "20110408,20110408",
                                  "--station", "33.95,130.95", "--rejected", "--silence", "60", "--now", "2011-04-10T00:00:00"});
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.contains("Comparison: 2011-04-07 to 2011-04-07 (A) and 2011-04-08 to 2011-04-08 (B)"));
        QVERIFY(r.out.contains("2011-04-07 12:00:00 to 2011-04-08 00:00:00   12:00:00  nothing heard (to the period's end)"));
        QVERIFY(r.out.contains("2011-04-08 00:00:00 431000001 91.00000,131.00000 x1: not on the globe"));
        const QByteArray east = r.out.mid(r.out.indexOf("sector    A max nm"));
        QVERIFY(east.contains("080-085       2.8       0.0      -2.8"));
        QVERIFY(east.contains("085-090       0.0       7.7      +7.7"));
    }
};

QTEST_GUILESS_MAIN(TestReport)
#include "test_report.moc"

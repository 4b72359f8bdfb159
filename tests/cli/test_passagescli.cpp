// velkais-log passages: the engine's passages in each format, the counts, and
// the options it refuses.
#include "velkaislog.h"
#include "workspace.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

class TestPassagesCli : public QObject
{
    Q_OBJECT

    Workspace *m_ws = nullptr;

    static Run passages(const QStringList &extra)
    {
        return velkaisLog(QStringList{"passages", "--from", "2011", "--to", "2012", "--area", "34,131,0.1",
                                      "--no-index"} + extra);
    }

private slots:
    void init()
    {
        m_ws = new Workspace;
        m_ws->writeLog("20110401_AIS_FMT.log",
                       logRecord("23:50:00", "431000001", "ALPHA", "34", "130.8", "9") +
                           logRecord("23:55:00", "431000001", {}, "34", "130.95", "9"));
        m_ws->writeLog("20110402_AIS_FMT.log",
                       logRecord("00:05:00", "431000001", {}, "34.02", "131", "11") +
                           logRecord("00:10:00", "431000001", {}, "34.3", "131.05", "9") +
                           logRecord("05:00:00", "431000002", "B \"2\"", "34", "131", "0"));
    }
    void cleanup() { delete m_ws; }

    void eachFormatGivesThePassages()
    {
        const Run text = passages({});
        QCOMPARE(text.status, 0);
        QCOMPARE(text.out, QByteArray("A 431000001 2011-04-01T23:55:00 - 2011-04-02T00:05:00 00:10:00 W->N 2 fixes, "
                                      "9.0/10.0/11.0 kn, 064° ALPHA\n"
                                      "A 431000002 2011-04-02T05:00:00 - 2011-04-02T05:00:00 00:00:00 -->- 1 fixes, "
                                      "0.0/0.0/0.0 kn, --- B \"2\"\n"));

        const Run csv = passages({"--format", "csv", "--utc-offset", "+09:00"});
        QCOMPARE(csv.out.split('\n').size(), 4);
        QVERIFY(csv.out.contains("\r\nA,431000001,ALPHA,2011-04-01T14:55:00Z,2011-04-01T15:05:00Z,600,2,9,10,11,W,N,"));
        QVERIFY(csv.out.contains(",\"B \"\"2\"\"\","));

        const QJsonObject first = QJsonDocument::fromJson(passages({"--format", "jsonl"}).out.split('\n')[0]).object();
        QCOMPARE(first["duration"].toInt(), 600);
        QCOMPARE(first["stopped"].toBool(), false);

        const QJsonArray features =
            QJsonDocument::fromJson(passages({"--format=geojson"}).out).object()["features"].toArray();
        QCOMPARE(features.size(), 2);
        QCOMPARE(features[0].toObject()["geometry"].toObject()["type"].toString(), "LineString");
        QCOMPARE(features[0].toObject()["geometry"].toObject()["coordinates"].toArray().size(), 2);
        QCOMPARE(features[1].toObject()["geometry"].toObject()["type"].toString(), "Point");

        const Run counts = passages({"--count", "hour", "--format", "csv"});
        QCOMPARE(counts.out, QByteArray("bucket,area,entrySide,exitSide,passages\r\n"
                                        "2011-04-01T23,A,W,N,1\r\n"
                                        "2011-04-02T05,A,-,-,1\r\n"));
        // A gap shorter than the silence at midnight splits the passage there.
        QCOMPARE(passages({"--gap", "5"}).out.count('\n'), 3);
    }

    void anEvenMedianReadsAsItsDecimalMean()
    {
        m_ws->writeLog("20110403_AIS_FMT.log", logRecord("01:00:00", "431000003", {}, "34", "131", "13.6") +
                                                   logRecord("01:01:00", "431000003", {}, "34", "131", "13.7"));
        QVERIFY(passages({"--format", "csv"}).out.contains(",2,13.6,13.65,13.7,"));
    }

    void refusesWhatMakesNoSense_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("says");
        const QStringList base{"passages", "--from", "2011", "--to", "2012"};
        QTest::newRow("no area") << base << QByteArray("needs at least one --area");
        QTest::newRow("gap") << base + QStringList{"--area", "34,131,1", "--gap", "721"} << QByteArray("--gap takes");
        QTest::newRow("count") << base + QStringList{"--area", "34,131,1", "--count", "week"} << QByteArray("--count");
        QTest::newRow("count format") << base + QStringList{"--area", "34,131,1", "--count", "day", "--format", "jsonl"}
                                      << QByteArray("text or csv");
        QTest::newRow("format") << base + QStringList{"--area", "34,131,1", "--format", "gpx"} << QByteArray("--format");
    }
    void refusesWhatMakesNoSense()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, says);
        const Run run = velkaisLog(args);
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.contains(says), run.err.constData());
        QVERIFY(run.out.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPassagesCli)
#include "test_passagescli.moc"

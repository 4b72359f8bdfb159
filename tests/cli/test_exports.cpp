// velkais-log records and track: golden outputs, and each read back by an
// independent reader.
//
// To regenerate the golden files after a deliberate change of a format, run
// this test with VELK_WRITE_GOLDEN=1; it then writes them and fails.
#include "velkaislog.h"
#include "workspace.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>
#include <QXmlStreamReader>

namespace {

QByteArray keyLine(const char *label, const QByteArray &value)
{
    return QByteArray(label).leftJustified(20) + "= " + value + "\r\n";
}

void compareWithGolden(const QByteArray &actual, const QString &name)
{
    if (qEnvironmentVariableIsSet("VELK_WRITE_GOLDEN")) {
        // Found as the comparison below finds it: __FILE__ is relative when
        // the build strips its base folder, and the test runs elsewhere.
        QFile g(QFINDTESTDATA("golden/" + name));
        QVERIFY(g.open(QIODevice::WriteOnly));
        g.write(actual);
        QFAIL("golden file written");
    }
    QFile golden(QFINDTESTDATA("golden/" + name));
    QVERIFY2(golden.open(QIODevice::ReadOnly), qPrintable(name));
    QCOMPARE(actual, golden.readAll());
}

// RFC 4180 as a reader that knows nothing of the writer: CR LF ends a row
// outside quotes, a doubled quote inside them is one quote.
QList<QStringList> parseCsv(const QByteArray &bytes)
{
    QList<QStringList> rows;
    QStringList row;
    QByteArray field;
    bool quoted = false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        const char next = i + 1 < bytes.size() ? bytes[i + 1] : 0;
        if (quoted) {
            if (c == '"' && next == '"')
                field += bytes[i++];
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',' || (c == '\r' && next == '\n')) {
            row << QString::fromUtf8(field);
            field.clear();
            if (c == '\r') {
                rows << row;
                row.clear();
                ++i;
            }
        } else {
            field += c;
        }
    }
    if (!field.isEmpty() || !row.isEmpty())
        rows << (row << QString::fromUtf8(field)); // a last row without CR LF fails the comparison
    return rows;
}

// A line that is not a JSON object reads as an empty one and fails the comparisons.
QList<QJsonObject> parseJsonLines(const QByteArray &bytes)
{
    QList<QJsonObject> objects;
    for (const QByteArray &line : bytes.trimmed().split('\n'))
        objects << QJsonDocument::fromJson(line).object();
    return objects;
}

} // namespace

class TestExports : public QObject
{
    Q_OBJECT

    Workspace *m_ws = nullptr;

    Run records(QStringList extra)
    {
        return velkaisLog(QStringList{"records", "--from", "0", "--to", "9"} + extra);
    }
    Run track(QStringList extra)
    {
        return velkaisLog(QStringList{"track", "--file", "20110407_AIS_FMT.log", "--ship", "431000000"} + extra);
    }

private slots:
    void init()
    {
        m_ws = new Workspace;
        m_ws->writeLog("20110407_AIS_FMT.log",
                       logRecord("09:15:42", "431000000", "M&M \"A\" <B> 丸", "33.9683", "130.9747", "12.5") +
                           keyLine("DESTINATION", "MOJI") + keyLine("ESTIMATED TIME", "04-07 12:00") +
                           keyLine("STATIC DRAUGHT", "7.5") + keyLine("NAVIGATIONAL STATUS", "UNDER WAY") +
                           keyLine("TEXT STRING", "SAFETY <&> \\ \t\x01") +
                           logRecord("24:10:00", "431000000", {}, "91", "181") +
                           logRecord("1O:00:0O", "431000000", {}, "33.97", "130.98", "13") + // a damaged time
                           logRecord("10:00:01", "222222222") +
                           logRecord("no time", "431000000", {}, "33.98", "130.99") +
                           logRecord("10:00:02", "431000000", {}, "33", "abc"));
        m_ws->writeLog("20110408,b_AIS_FMT.log", logRecord("00:00:01", "333333333", "Ω", "-90", "180", "0.5"));
    }
    void cleanup() { delete m_ws; }

    // One golden file per format; the CSV and the GeoJSON properties must hold
    // exactly what the JSON lines hold.
    void recordFormatsAgree()
    {
        const Run csv = records({});
        const Run jsonl = records({"--format", "jsonl"});
        const Run geojson = records({"--format=geojson"});
        for (const Run *r : {&csv, &jsonl, &geojson})
            QCOMPARE(r->status, 0);
        compareWithGolden(csv.out, "records.csv");
        compareWithGolden(jsonl.out, "records.jsonl");
        compareWithGolden(geojson.out, "records.geojson");

        const QList<QStringList> rows = parseCsv(csv.out);
        const QList<QJsonObject> objects = parseJsonLines(jsonl.out);
        QCOMPARE(objects.size(), 7);
        QCOMPARE(rows.size(), objects.size() + 1);
        const QStringList header = rows[0];
        for (int i = 0; i < objects.size(); ++i) {
            QCOMPARE(rows[i + 1].size(), header.size());
            QCOMPARE(objects[i].size(), header.size());
            for (int j = 0; j < header.size(); ++j) {
                const QJsonValue v = objects[i].value(header[j]);
                const QString field = rows[i + 1][j];
                if (v.isDouble())
                    QCOMPARE(field.toDouble(), v.toDouble());
                else
                    QCOMPARE(field, v.isNull() ? QString() : v.toString());
            }
        }

        QJsonParseError error;
        const QJsonObject collection = QJsonDocument::fromJson(geojson.out, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(collection.value("type").toString(), QString("FeatureCollection"));
        const QJsonArray features = collection.value("features").toArray();
        QCOMPARE(features.size(), objects.size());
        QStringList geometries;
        for (int i = 0; i < features.size(); ++i) {
            const QJsonObject f = features[i].toObject();
            QCOMPARE(f.value("properties").toObject(), objects[i]);
            geometries << (f.value("geometry").isNull() ? "-" : f.value("geometry")["type"].toString());
        }
        // 181/91, no position, no longitude number: kept, without a point.
        QCOMPARE(geometries, QStringList({"Point", "-", "Point", "-", "Point", "-", "Point"}));
        // The number columns agree: no point, no latitude or longitude; the
        // texts keep what the log said.
        for (int i = 0; i < objects.size(); ++i) {
            QCOMPARE(objects[i]["latitude"].isNull(), geometries[i] == "-");
            QCOMPARE(objects[i]["longitude"].isNull(), geometries[i] == "-");
        }
        QCOMPARE(objects[1]["recLongitude"].toString(), QString("181"));

        // Every number reads as floating point, whole ones too.
        static const QRegularExpression wholeJson(R"re("(latitude|longitude|speed)":-?[0-9]+[,}])re");
        QVERIFY2(!wholeJson.match(jsonl.out).hasMatch(), qPrintable(wholeJson.match(jsonl.out).captured()));
        QVERIFY(jsonl.out.contains("\"speed\":13.0}"));
        for (const QStringList &row : rows.mid(1)) {
            for (const QString &number : row.mid(13))
                QVERIFY2(number.isEmpty() || number.contains('.') || number.contains('e'), qPrintable(number));
        }
    }

    // Windows' C runtime would turn each LF into CR LF on a stream opened as
    // text: the bytes written, to a file or to standard output, are the ones
    // the format defines.
    void lineEndsAreKeptAsWritten()
    {
        for (const QString &format : {"csv", "jsonl"}) {
            const Run out = records({"--format", format});
            const Run file = records({"--format", format, "--out", "records." + format});
            QCOMPARE(out.status, 0);
            QCOMPARE(file.status, 0);
            QFile written("records." + format);
            QVERIFY(written.open(QIODevice::ReadOnly));
            QCOMPARE(written.readAll(), out.out);
            QVERIFY(!out.out.contains("\r\r\n"));
            QCOMPARE(out.out.count("\r\n"), format == "csv" ? out.out.count('\n') : 0);
        }
    }

    // The records are the Search's: the same ships in the same order, edges
    // included (an empty position is 0,0 to the area test), and no 1000 limit.
    void recordsPassTheSearchCriteria()
    {
        const QList<QStringList> criteria = {
            {"--area", "33.9683,130.9747,0.02"}, {"--mmsi", "222222222"}, {"--area", "0,0,0"}, {"--area", "-90,180,0"}};
        for (const QStringList &c : criteria) {
            QStringList fromRecords;
            for (const QStringList &row : parseCsv(records(c).out).mid(1)) {
                if (!fromRecords.contains(row[3]))
                    fromRecords << row[3];
            }
            QStringList fromSearch;
            for (const QByteArray &line : velkaisLog(QStringList{"search", "--from", "0", "--to", "9"} + c).out.split('\n'))
                if (!line.isEmpty())
                    fromSearch << QString::fromUtf8(line.left(9));
            QVERIFY(!fromSearch.isEmpty());
            QCOMPARE(fromRecords, fromSearch);
        }

        QByteArray log;
        for (int i = 0; i < 1001; ++i)
            log += logRecord("01:00:00", QByteArray::number(100000000 + i));
        m_ws->writeLog("20110409_AIS_FMT.log", log);
        const Run all = velkaisLog({"records", "--from", "20110409", "--to", "20110409", "--out", "all.csv"});
        QCOMPARE(all.status, 0);
        QVERIFY(all.out.isEmpty());
        QFile written("all.csv");
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll().count("\r\n"), 1002);
        // GDAL's types file beside it: 13 texts, then the three numbers.
        {
            QFile types("all.csvt"); // closed again: Windows removes no open file
            QVERIFY(types.open(QIODevice::ReadOnly));
            QCOMPARE(types.readAll(), QByteArray("\"String\",").repeated(13) + "\"Real\",\"Real\",\"Real\"\r\n");
        }
        QVERIFY(velkaisLog({"records", "--from", "20110409", "--to", "20110409", "--format", "jsonl", "--out", "all"})
                    .status == 0);
        QVERIFY(!QFile::exists("all.csvt") || QFile::remove("all.csvt"));
        QVERIFY(velkaisLog({"records", "--from", "20110409", "--to", "20110409", "--out", "all"}).status == 0);
        QVERIFY(QFile::exists("all.csvt"));
    }

    // The station clock at +09:30 puts 09:15:42 on the day before in UTC; the
    // damaged times (one the reader replaced by 23:59:59) keep their points
    // but get no <time>.
    void tracks()
    {
        const Run gpx = track({"--format", "gpx", "--name", "M&M \"A\" <B> 丸\x01", "--utc-offset", "+09:30"});
        const Run geojson = track({"--format", "geojson"});
        QCOMPARE(gpx.status, 0);
        QCOMPARE(geojson.status, 0);
        compareWithGolden(gpx.out, "track.gpx");
        compareWithGolden(geojson.out, "track.geojson");

        QXmlStreamReader xml(gpx.out);
        QList<QPointF> points;
        QStringList times, descs;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == QLatin1String("name"))
                QCOMPARE(xml.readElementText(), QString("M&M \"A\" <B> 丸"));
            if (xml.name() == QLatin1String("trkpt")) {
                points << QPointF(xml.attributes().value("lon").toDouble(), xml.attributes().value("lat").toDouble());
                times << QString();
                descs << QString();
            }
            if (xml.name() == QLatin1String("time"))
                times.last() = xml.readElementText();
            if (xml.name() == QLatin1String("desc") && !descs.isEmpty())
                descs.last() = xml.readElementText();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(times, QStringList({"2011-04-06T23:45:42Z", "", ""}));

        QCOMPARE(descs, QStringList({"12.5 knots", "13 knots", ""}));

        // The line, then every point with its time and speed: without an
        // offset the station's clock time, with one UTC.
        const QJsonArray features = QJsonDocument::fromJson(geojson.out).object()["features"].toArray();
        QCOMPARE(features.size(), 1 + points.size());
        const QJsonArray line = features[0]["geometry"]["coordinates"].toArray();
        QCOMPARE(line.size(), points.size());
        const QJsonArray utc = QJsonDocument::fromJson(track({"--format", "geojson", "--utc-offset", "+09:30"}).out)
                                   .object()["features"].toArray();
        QStringList localTimes, utcTimes;
        QList<QJsonValue> speeds;
        for (int i = 0; i < points.size(); ++i) {
            QCOMPARE(QPointF(line[i][0].toDouble(), line[i][1].toDouble()), points[i]);
            const QJsonObject point = features[i + 1].toObject();
            QCOMPARE(point["geometry"]["coordinates"].toArray(), line[i].toArray());
            localTimes << point["properties"]["time"].toString();
            utcTimes << utc[i + 1]["properties"]["time"].toString();
            speeds << point["properties"]["speed"];
        }
        QCOMPARE(localTimes, QStringList({"2011-04-07T09:15:42", "", ""}));
        QCOMPARE(utcTimes, QStringList({"2011-04-06T23:45:42Z", "", ""}));
        QCOMPARE(speeds, QList<QJsonValue>({12.5, 13, QJsonValue()}));

        // One point makes no line; GPX has no longitude 180, only its twin -180.
        const QStringList one = {"track", "--file", "20110408,b_AIS_FMT.log", "--ship", "333333333", "--format"};
        QVERIFY(QJsonDocument::fromJson(velkaisLog(one + QStringList{"geojson"}).out)
                    .object()["features"][0]["geometry"].isNull());
        QVERIFY(velkaisLog(one + QStringList{"gpx"}).out.contains("<trkpt lat=\"-90\" lon=\"-180\">"));
    }

    // Without --name the track takes the name the ship list would show after
    // this day: the last non-empty one, from a record with a position or not.
    void trackNamedAfterTheShip()
    {
        m_ws->writeLog("20110410_AIS_FMT.log",
                       logRecord("01:00:00", "431000000", "OLD NAME", "34", "131") +
                           logRecord("02:00:00", "431000000", "NEW NAME") + logRecord("03:00:00", "222222222", "OTHER") +
                           logRecord("04:00:00", "431000000", {}, "34.1", "131.1"));
        const QStringList args = {"track", "--file", "20110410_AIS_FMT.log", "--ship", "431000000", "--format"};
        const QJsonObject line =
            QJsonDocument::fromJson(velkaisLog(args + QStringList{"geojson"}).out).object()["features"][0].toObject();
        QCOMPARE(line["properties"]["name"].toString(), QString("NEW NAME"));
        QVERIFY(velkaisLog(args + QStringList{"gpx"}).out.contains("<name>NEW NAME</name>"));
        QCOMPARE(QJsonDocument::fromJson(velkaisLog(args + QStringList{"geojson", "--name", "GIVEN"}).out)
                     .object()["features"][0]["properties"]["name"].toString(),
                 QString("GIVEN"));
        // A ship that never gave its name keeps its MMSI.
        const Run unnamed = velkaisLog({"track", "--file", "20110410_AIS_FMT.log", "--ship", "999999999", "--format", "gpx"});
        QVERIFY(unnamed.out.contains("<name>999999999</name>"));
    }
};

QTEST_GUILESS_MAIN(TestExports)
#include "test_exports.moc"

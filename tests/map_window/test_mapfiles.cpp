// What velkais-log writes, read back by the map as the same points the
// engine read from the log; `velkais-log map`'s picture; and hostile files
// handed to `velkais-log-browser --map`.
#include "cli/velkaislog.h"
#include "engine/export.h"
#include "engine/module1.h"
#include "engine/plainhost.h"
#include "map_window/render.h"
#include "map_window/trackfile.h"
#include "support/workspace.h"

#include <QImage>
#include <QProcess>
#include <QTest>

namespace {

QByteArray status(const QByteArray &text)
{
    return "NAVIGATIONAL STATUS = " + text + "\r\n";
}

// A day of ship 431000000 with what the readers must survive: a position off
// the globe (91, 181: not available), a damaged time, a record without
// position, another ship between, and a ship name that needs escaping.
QByteArray day()
{
    return logRecord("00:01:00", "431000000", "M&M <A>", "33.9683", "130.9747", "0.1") + status("AT ANCHOR") +
           logRecord("01:00:00", "431000000", {}, "91", "181") +
           logRecord("02:00:00", "222222222", {}, "34.5", "131.5", "3") +
           logRecord("1O:00:0O", "431000000", {}, "33.97", "130.98", "13") +
           logRecord("11:00:00", "431000000", {}, {}, {}, "13.5") +
           logRecord("12:00:00", "431000000", {}, "33.9455", "130.9605", "12.25") + status("UNDER WAY USING ENGINE") +
           logRecord("23:59:59", "431000000", {}, "-33.5", "-130.25", "7");
}

Run browser(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(VELKAIS_LOG_BROWSER), args);
    p.waitForFinished(60000);
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

} // namespace

class TestMapFiles : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void writtenFilesReadBackAsTheSamePoints_data();
    void writtenFilesReadBackAsTheSamePoints();
    void recordsOfAPeriodMakeOneTrackPerShip();
    void mapCommandDrawsTheTrackAndAreas();
    void mapCommandRefusesWhatItCannotRead();
    void hostileFilesForTheMapWindow();

private:
    QString file(const QString &name) const { return m_ws->path("work/" + name); }
    std::unique_ptr<Workspace> m_ws;
    Module1::Track m_day;
};

void TestMapFiles::initTestCase()
{
    m_ws = std::make_unique<Workspace>();
    m_ws->writeLog("20110407_AIS_FMT.log", day());
    Module1::PlainHost host;
    Module1::setHost(&host);
    Module1::logFolder = m_ws->logs() + "/";
    m_day = Module1::readTrack("20110407_AIS_FMT.log", "431000000", "M&M <A>");
    Module1::setHost(nullptr);
    QCOMPARE(m_day.points.size(), std::size_t(4));
}

void TestMapFiles::writtenFilesReadBackAsTheSamePoints_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("firstTime");
    const QStringList common{"--logs", m_ws->logs(), "--file", "20110407_AIS_FMT.log", "--ship", "431000000",
                             "--no-index"};
    QTest::newRow("kml") << (QStringList{"kml", "--name", "M&M <A>"} + common) << QString();
    QTest::newRow("kml without a name") << (QStringList{"kml"} + common) << QString();
    QTest::newRow("track gpx") << (QStringList{"track", "--format", "gpx", "--utc-offset", "+09:00"} + common)
                               << "2011-04-06T15:01:00Z";
    QTest::newRow("track geojson") << (QStringList{"track", "--format", "geojson"} + common)
                                   << "2011-04-07T00:01:00";
}

void TestMapFiles::writtenFilesReadBackAsTheSamePoints()
{
    QFETCH(QStringList, args);
    QFETCH(QString, firstTime);
    const Run r = velkaisLog(args + QStringList{"--out", file("written")});
    QCOMPARE(r.status, 0);
    const Map::TrackFile read = Map::readTrackFile(file("written"));
    QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
    // One line, the KML view's final-position mark not repeated as a loose point.
    QCOMPARE(read.tracks.size(), std::size_t(1));
    const Map::Track &t = read.tracks[0];
    QVERIFY(t.line);
    QCOMPARE(t.size(), m_day.points.size());
    for (std::size_t i = 0; i < t.size(); ++i) {
        QCOMPARE(t.position(i).lat, m_day.points[i].latitude);
        QCOMPARE(t.position(i).lon, m_day.points[i].longitude);
    }
    QCOMPARE(t.time(0), firstTime);
    QVERIFY2(t.name.contains(QStringLiteral("M&M <A>")) || t.name.contains(QStringLiteral("431000000")),
             qPrintable(t.name));
}

void TestMapFiles::recordsOfAPeriodMakeOneTrackPerShip()
{
    const Run r = velkaisLog({"records", "--logs", m_ws->logs(), "--from", "20110407", "--to", "20110407",
                              "--format", "geojson", "--no-index", "--out", file("records.geojson")});
    QCOMPARE(r.status, 0);
    const Map::TrackFile read = Map::readTrackFile(file("records.geojson"));
    QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
    QCOMPARE(read.tracks.size(), std::size_t(2));
    const Map::Track &ship = read.tracks[0];
    QCOMPARE(ship.name, QStringLiteral("431000000 M&M <A>"));
    QCOMPARE(ship.size(), m_day.points.size());
    // Time, speed and status of the day's own reading, as the map's tooltip shows them.
    Map::Track fromLog = Map::fromDayTrack(m_day);
    for (std::size_t i = 0; i < ship.size(); ++i) {
        QCOMPARE(ship.position(i).lat, fromLog.position(i).lat);
        QCOMPARE(ship.speed(i), fromLog.speed(i));
        QCOMPARE(ship.status(i), fromLog.status(i));
    }
    QCOMPARE(ship.time(3), QStringLiteral("20110407 23:59:59"));
    QCOMPARE(fromLog.time(3), QStringLiteral("23:59:59"));
    QCOMPARE(fromLog.status(1), QStringLiteral("AT ANCHOR")); // held until the ship reports another
    QCOMPARE(fromLog.status(2), QStringLiteral("UNDER WAY USING ENGINE"));
    QCOMPARE(fromLog.speed(2), 12.25);
    QCOMPARE(read.tracks[1].name, QStringLiteral("222222222"));
}

void TestMapFiles::mapCommandDrawsTheTrackAndAreas()
{
    // Two points near the strait, so the fitted view is a few kilometres wide.
    m_ws->writeLog("20110408_AIS_FMT.log", logRecord("08:00:00", "431000001", {}, "33.95", "130.94", "4") +
                                               logRecord("09:00:00", "431000001", {}, "33.97", "130.98", "4"));
    const Run r = velkaisLog({"map", "--logs", m_ws->logs(), "--file", "20110408_AIS_FMT.log", "--ship", "431000001",
                              "--area", "33.96,130.96,0.005", "--out", file("map.png"), "--size", "500x400",
                              "--no-index"});
    QVERIFY2(r.status == 0, r.err.constData());
    QImage image(file("map.png"));
    QCOMPARE(image.size(), QSize(500, 400));
    // The same scene fitted the same way, clear of the legend.
    Map::MapScene scene;
    Map::Track track;
    track.name = QStringLiteral("431000001 20110408");
    track.append({33.95, 130.94});
    track.append({33.97, 130.98});
    scene.tracks.push_back(std::make_shared<const Map::Track>(track));
    scene.areas[0] = {true, 33.96, 130.96, 0.005};
    const Map::Viewport view = Map::fitScene(scene, {500, 400});
    // Area A is switched on, filled; the track's line crosses its middle.
    const QPoint inArea = view.toScreen({33.962, 130.958}).toPoint();
    const QColor a = image.pixelColor(inArea);
    QVERIFY2(a.green() < Map::seaColor.green() - 40 && a.red() > a.green(), qPrintable(a.name()));
    const QPoint start = view.toScreen({33.95, 130.94}).toPoint();
    QVERIFY(image.pixelColor(start) != Map::seaColor);

    // A written file alone needs no log folder.
    QVERIFY(velkaisLog({"track", "--logs", m_ws->logs(), "--file", "20110408_AIS_FMT.log", "--ship", "431000001",
                        "--format", "gpx", "--no-index", "--out", file("t.gpx")}).status == 0);
    const Run fromFile = velkaisLog({"map", "--logs", m_ws->path("nowhere"), "--track", file("t.gpx"), "--out",
                                     file("map2.png"), "--size", "300x200"});
    QVERIFY2(fromFile.status == 0, fromFile.err.constData());
    QCOMPARE(QImage(file("map2.png")).size(), QSize(300, 200));
}

void TestMapFiles::mapCommandRefusesWhatItCannotRead()
{
    m_ws->write("work/bad.kml", "<kml><Document><Placemark><LineString><coord");
    Run r = velkaisLog({"map", "--track", file("bad.kml"), "--out", file("bad.png")});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains("bad.kml: not well-formed XML"), r.err.constData());
    QVERIFY(!QFile::exists(file("bad.png")));
    r = velkaisLog({"map", "--file", "x.log", "--out", file("x.png")});
    QCOMPARE(r.status, 2);
    QVERIFY(r.err.contains("map takes --file and --ship together"));
    r = velkaisLog({"map", "--track", file("bad.kml"), "--out", file("x.png"), "--size", "10x10"});
    QCOMPARE(r.status, 2);

    // A ship without a position on the globe and no area: nothing to draw, no image.
    m_ws->writeLog("20110409_AIS_FMT.log", logRecord("08:00:00", "431000002", {}, "91", "181", "4") +
                                               logRecord("09:00:00", "431000002", {}, "x", "y", "4"));
    r = velkaisLog({"map", "--logs", m_ws->logs(), "--file", "20110409_AIS_FMT.log", "--ship", "431000002",
                    "--out", file("none.png"), "--no-index"});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains("has no positions") && r.err.contains("nothing to draw"), r.err.constData());
    QVERIFY(!QFile::exists(file("none.png")));
    // With an area there is something: the area.
    r = velkaisLog({"map", "--logs", m_ws->logs(), "--file", "20110409_AIS_FMT.log", "--ship", "431000002",
                    "--area", "33.96,130.96,0.005", "--out", file("area.png"), "--no-index"});
    QCOMPARE(r.status, 0);
    QVERIFY(QFile::exists(file("area.png")));

    // Points that are not numbers are counted; "--out -" is standard output.
    m_ws->write("work/partly.gpx", "<gpx><trk><trkseg><trkpt lat=\"nan\" lon=\"1\"/><trkpt lat=\"1\" lon=\"2\"/>"
                                   "<trkpt lat=\"1.1\" lon=\"2.1\"/></trkseg></trk></gpx>");
    r = velkaisLog({"map", "--track", file("partly.gpx"), "--out", "-", "--size", "200x150"});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.err.contains("partly.gpx: 1 point left out"), r.err.constData());
    QCOMPARE(QImage::fromData(r.out, "PNG").size(), QSize(200, 150));
}

void TestMapFiles::hostileFilesForTheMapWindow()
{
    m_ws->write("work/truncated.gpx", "<gpx><trk><trkseg><trkpt lat=\"33.9\" lon=\"130.9\"></trkpt><trkpt lat=");
    m_ws->write("work/notxml.kml", "PK\x03\x04 zipped, not XML");
    m_ws->write("work/offglobe.geojson", "{\"type\":\"LineString\",\"coordinates\":[[200,95],[1e308,-1e308]]}");
    const Run r = browser({"--map", file("truncated.gpx"), file("notxml.kml"), file("offglobe.geojson"),
                           file("missing.kml")});
    // Nothing to show: no window, a line per file and a failure status.
    QCOMPARE(r.status, 1);
    for (const char *expected : {"truncated.gpx: not well-formed XML", "notxml.kml: not a KML, GPX or GeoJSON file",
                                 "offglobe.geojson: none of its 2 points is on the globe", "missing.kml: no such file"})
        QVERIFY2(r.err.contains(expected), r.err.constData());
}

QTEST_MAIN(TestMapFiles)
#include "test_mapfiles.moc"

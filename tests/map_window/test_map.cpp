// The map's plain geometry and its one painting function: projection both
// ways, the track thinning, the square typed from a drawn rectangle, the
// files it reads (hostile ones included) and the pixels of a rendered map.
#include "map_window/mapwindow.h"
#include "map_window/render.h"
#include "map_window/trackfile.h"

#include <QApplication>
#include <QClipboard>
#include <QWheelEvent>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include <random>

using namespace Map;

namespace {

bool near(QColor a, QColor b, int tolerance = 12)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

QColor over(QColor top, int alpha, QColor under)
{
    auto mix = [alpha](int t, int u) { return (t * alpha + u * (255 - alpha)) / 255; };
    return QColor(mix(top.red(), under.red()), mix(top.green(), under.green()), mix(top.blue(), under.blue()));
}

} // namespace

class TestMap : public QObject
{
    Q_OBJECT
private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void projectionRoundTrips();
    void zoomKeepsThePointUnderTheCursor();
    void fitBoxShowsTheBoxWhole();
    void thinningKeepsEndsAndOnePointPerCell();
    void thinnedLevelsFollowTheZoom();
    void drawnRectangleBecomesACoveringSquare();
    void hostileFiles_data();
    void hostileFiles();
    void plainFilesOfOtherPrograms();
    void oddFilesAreReadWhole_data();
    void oddFilesAreReadWhole();
    void linesAreBoundedNotEmptyOnes();
    void areasOnFilledOffOutlined();
    void trackIsDrawnAndHovered();
    void fitKeepsClearOfTheLegendOnAnySize();
    void antimeridianPolesAndZeroLabels();
    void windowMovesAndSavesTheMap();
    void emptyWindowOpensFilesLater();

private:
    QString write(const QString &name, const QByteArray &bytes)
    {
        QFile f(m_dir->filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestMap::projectionRoundTrips()
{
    for (const LatLon p : {LatLon{0, 0}, LatLon{33.9683, 130.9747}, LatLon{-45.5, -170.25}, LatLon{84.9, 179.99}}) {
        const LatLon back = unproject(project(p));
        QVERIFY(std::fabs(back.lat - p.lat) < 1e-9);
        QVERIFY(std::fabs(back.lon - p.lon) < 1e-9);
    }
    // Northing equals the latitude at the equator and grows faster towards the pole.
    QVERIFY(std::fabs(project({1, 0}).y() - 1) < 1e-3);
    QVERIFY(project({60, 0}).y() > 70);
    QCOMPARE(project({90, 0}).y(), project({maxLatitude, 0}).y());

    Viewport v;
    v.center = {33.95, 130.95};
    v.pixelsPerDegree = 20000;
    v.size = {800, 600};
    QCOMPARE(v.toScreen(v.center), QPointF(400, 300));
    const LatLon corner = v.toGeo({0, 0});
    const QPointF again = v.toScreen(corner);
    QVERIFY(std::fabs(again.x()) < 1e-6 && std::fabs(again.y()) < 1e-6);
    const GeoBox b = v.bounds();
    QVERIFY(b.north > v.center.lat && b.south < v.center.lat && b.west < v.center.lon && b.east > v.center.lon);
    // 1/20000 of a degree of longitude at 34 N: about 4.6 m.
    QVERIFY(v.metresPerPixel() > 4.5 && v.metresPerPixel() < 4.7);
}

void TestMap::zoomKeepsThePointUnderTheCursor()
{
    Viewport v;
    v.center = {33.95, 130.95};
    v.pixelsPerDegree = 5000;
    const QPointF cursor(620, 110);
    const LatLon under = v.toGeo(cursor);
    v.zoomAt(cursor, 3.7);
    QCOMPARE(v.pixelsPerDegree, 5000 * 3.7);
    const QPointF after = v.toScreen(under);
    QVERIFY(std::fabs(after.x() - cursor.x()) < 1e-6 && std::fabs(after.y() - cursor.y()) < 1e-6);
    v.panBy({30, -40});
    const QPointF moved = v.toScreen(under);
    QVERIFY(std::fabs(moved.x() - cursor.x() - 30) < 1e-6 && std::fabs(moved.y() - cursor.y() + 40) < 1e-6);
}

void TestMap::fitBoxShowsTheBoxWhole()
{
    const GeoBox box{33.90, 130.80, 34.00, 131.10};
    const Viewport v = fitBox(box, {800, 600}, 40);
    const QPointF sw = v.toScreen({box.south, box.west}), ne = v.toScreen({box.north, box.east});
    QVERIFY(sw.x() >= 39.999 && ne.x() <= 760.001 && ne.y() >= 39.999 && sw.y() <= 560.001);
    // The wider side touches the margins.
    QVERIFY(std::fabs(sw.x() - 40) < 1e-6 || std::fabs(ne.y() - 40) < 1e-6);
    // A single point still gets a view a couple of kilometres wide.
    const Viewport point = fitBox(GeoBox::around({33.95, 130.95}), {800, 600}, 40);
    QVERIFY(point.metresPerPixel() * 800 > 1000 && point.metresPerPixel() * 800 < 5000);
}

void TestMap::thinningKeepsEndsAndOnePointPerCell()
{
    // A ship lying at anchor, swinging within a cell, then steaming away.
    std::vector<QPointF> world;
    for (int i = 0; i < 100; ++i)
        world.emplace_back(10.0 + 0.001 * (i % 3), 20.0 + 0.001 * (i % 2));
    for (int i = 1; i <= 10; ++i)
        world.emplace_back(10.0 + i, 20.0);
    world.emplace_back(20.0005, 20.0); // last, in the cell of the point before

    const std::vector<std::uint32_t> kept = thinPoints(world, 1.0);
    QCOMPARE(kept.front(), 0u);
    QCOMPARE(kept.back(), std::uint32_t(world.size() - 1));
    QCOMPARE(kept.size(), std::size_t(1 + 10 + 1)); // anchorage as one, each cell stepped into, the end
    QVERIFY(std::is_sorted(kept.begin(), kept.end()));
    // A fine enough cell keeps everything that moves.
    QCOMPARE(thinPoints(world, 1e-6).size(), world.size());
    QVERIFY(thinPoints({}, 1).empty());
    QCOMPARE(thinPoints({QPointF(1, 1)}, 1).size(), std::size_t(1));
}

void TestMap::thinnedLevelsFollowTheZoom()
{
    Track t;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> step(-0.0005, 0.0005);
    LatLon p{33.9, 130.9};
    for (int i = 0; i < 20000; ++i) {
        p.lat += step(random);
        p.lon += step(random);
        QVERIFY(t.append(p, i % 25, QStringLiteral("12:00:%1").arg(i % 60, 2, 10, QLatin1Char('0')), QStringLiteral("0")));
    }
    const auto coarse = t.thinned(100), fine = t.thinned(1e6);
    QVERIFY2(coarse->size() * 20 < t.size(), qPrintable(QString::number(coarse->size())));
    QVERIFY(fine->size() > 19000);
    // Asked again, the same level is not thinned again.
    QCOMPARE(t.thinned(100).get(), coarse.get());
    // Between two points kept, the track stays within one cell of the last kept.
    const double cell = std::ldexp(1.0, int(std::ceil(std::log2(1.0 / 100))));
    for (std::size_t k = 1; k < coarse->size(); ++k) {
        const QPointF from = t.world(coarse->indices[k - 1]);
        for (std::uint32_t i = coarse->indices[k - 1] + 1; i < coarse->indices[k]; ++i)
            QVERIFY(std::fabs(t.world(i).x() - from.x()) < cell && std::fabs(t.world(i).y() - from.y()) < cell);
    }
    // Every kept point lies in its block's bounds.
    for (std::size_t k = 0; k < fine->size(); ++k) {
        const QRectF &block = fine->blocks[k / ThinnedTrack::kBlock];
        const QPointF w = t.world(fine->indices[k]);
        QVERIFY(w.x() >= block.left() && w.x() <= block.right() && w.y() >= block.top() && w.y() <= block.bottom());
    }
    QCOMPARE(t.time(61), QStringLiteral("12:00:01"));
    QCOMPARE(t.status(5), QStringLiteral("0"));
    QCOMPARE(t.maxSpeed(), 24.0);
    QVERIFY(!t.append({91, 0}) && !t.append({0, 180.5}) && !t.append({std::nan(""), 0}));
}

void TestMap::drawnRectangleBecomesACoveringSquare()
{
    // 1000 pixels per degree: four decimals.
    AreaTexts a = areaTexts({33.90, 130.90, 34.00, 131.00}, 1000);
    QCOMPARE(a.latitude, QStringLiteral("33.9500"));
    QCOMPARE(a.longitude, QStringLiteral("130.9500"));
    QCOMPARE(a.range, QStringLiteral("0.0500"));
    // A tall rectangle: the half-width covers its height, rounded up.
    a = areaTexts({-0.123456, -0.01, 0.0, 0.01}, 1000);
    QCOMPARE(a.latitude, QStringLiteral("-0.0617"));
    QCOMPARE(a.longitude, QStringLiteral("0.0000"));
    QCOMPARE(a.range, QStringLiteral("0.0618"));
}

void TestMap::hostileFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    const QByteArray kml = "<?xml version=\"1.0\"?><kml><Document><Placemark><LineString><coordinates>"
                           "130.9,33.9,0 131.0,34.0,0 131.1,34.1,0</coordinates></LineString></Placemark></Document></kml>";
    QTest::newRow("truncated KML") << kml.left(kml.size() - 30) << "not well-formed XML";
    QTest::newRow("not XML") << QByteArray("MMSI NUMBER = 431000001\r\n") << "not a KML, GPX or GeoJSON file";
    QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0", 11) << "not a KML, GPX or GeoJSON file";
    QTest::newRow("empty") << QByteArray() << "not a KML, GPX or GeoJSON file";
    QTest::newRow("other XML") << QByteArray("<html><body/></html>") << "not KML or GPX";
    QTest::newRow("off the globe") << QByteArray("<gpx><trk><trkseg><trkpt lat=\"91\" lon=\"0\"/>"
                                                 "<trkpt lat=\"0\" lon=\"181\"/><trkpt lat=\"x\" lon=\"1\"/></trkseg></trk></gpx>")
                                   << "none of its 3 points is on the globe";
    QTest::newRow("no points") << QByteArray("<kml><Document/></kml>") << "no points or lines";
    QTest::newRow("truncated JSON") << QByteArray("{\"type\":\"Feature\",\"geometry\":{\"type\":\"LineString\",\"coordinates\":[[1,2],[3")
                                    << "not valid JSON";
    QTest::newRow("JSON of strings") << QByteArray("{\"type\":\"LineString\",\"coordinates\":[[\"1\",\"2\"],[true,null]]}")
                                     << "none of its 2 points is on the globe";
    QTest::newRow("deep XML") << QByteArray("<kml>") + QByteArray(200000, 'x').replace('x', "<a>") << "not well-formed XML";
}

void TestMap::hostileFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    const TrackFile read = readTrackFile(write("hostile", content));
    QVERIFY2(read.error.contains(message), qPrintable(read.error));
    QVERIFY(read.tracks.empty());
}

void TestMap::plainFilesOfOtherPrograms()
{
    // Too large: refused by its size, unread (a sparse file costs no disk).
    QFile huge(m_dir->filePath("huge.kml"));
    QVERIFY(huge.open(QIODevice::WriteOnly));
    huge.write("<kml>");
    QVERIFY(huge.resize(kMaxXmlFileBytes + 1));
    huge.close();
    QVERIFY(readTrackFile(huge.fileName()).error.startsWith(QStringLiteral("too large")));
    QCOMPARE(readTrackFile(m_dir->filePath("missing.gpx")).error, QStringLiteral("no such file"));

    // Waypoints and a route in GPX, with a point off the globe skipped.
    TrackFile gpx = readTrackFile(write("plain.gpx",
        "<?xml version=\"1.0\"?><gpx xmlns=\"http://www.topografix.com/GPX/1/0\">"
        "<wpt lat=\"33.95\" lon=\"130.95\"><name>buoy</name></wpt>"
        "<rte><name>fairway</name><rtept lat=\"33.9\" lon=\"130.9\"><speed>5.144</speed></rtept>"
        "<rtept lat=\"95\" lon=\"130.9\"/><rtept lat=\"34.0\" lon=\"131.0\"/></rte></gpx>"));
    QVERIFY2(gpx.error.isEmpty(), qPrintable(gpx.error));
    QCOMPARE(gpx.tracks.size(), std::size_t(2));
    QCOMPARE(gpx.tracks[0].name, QStringLiteral("fairway"));
    QCOMPARE(gpx.tracks[0].size(), std::size_t(2));
    QVERIFY(std::fabs(gpx.tracks[0].speed(0) - 10.0) < 0.01); // 5.144 m/s
    QCOMPARE(gpx.skipped, 1LL);
    QVERIFY(!gpx.tracks[1].line);

    // GeoJSON of another program: a MultiLineString and a Point with a name.
    TrackFile json = readTrackFile(write("plain.json",
        "{\"type\":\"FeatureCollection\",\"features\":["
        "{\"type\":\"Feature\",\"properties\":{\"name\":\"route\"},\"geometry\":{\"type\":\"MultiLineString\","
        "\"coordinates\":[[[130.9,33.9],[131,34]],[[131.1,34.1],[131.2,34.2,5]]]}},"
        "{\"type\":\"Feature\",\"properties\":{},\"geometry\":{\"type\":\"Point\",\"coordinates\":[130.5,33.5]}},"
        "{\"type\":\"Feature\",\"properties\":{},\"geometry\":{\"type\":\"Polygon\",\"coordinates\":[]}}]}"));
    QVERIFY2(json.error.isEmpty(), qPrintable(json.error));
    QCOMPARE(json.tracks.size(), std::size_t(3));
    QCOMPARE(json.tracks[1].position(1).lat, 34.2);
}

void TestMap::oddFilesAreReadWhole_data()
{
    // What each file must give: lines, loose points (0 or 1 track), points in all, points skipped.
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("loose");
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("skipped");
    // A line closed inside an open point: the point outlives its line.
    QTest::newRow("segment closed in a point")
        << QByteArray("<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"2\"><trkseg/></trkpt></trkseg></trk></gpx>") << 0 << 1 << 1 << 0;
    QTest::newRow("route closed in a point")
        << QByteArray("<gpx><rte><rtept lat=\"1\" lon=\"2\"><rte/></rtept><rtept lat=\"3\" lon=\"4\"/></rte></gpx>") << 1 << 1 << 2 << 0;
    QTest::newRow("segment in extensions")
        << QByteArray("<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"2\"><extensions><trkseg><trkpt lat=\"3\" lon=\"4\"/>"
                      "</trkseg></extensions></trkpt><trkpt lat=\"5\" lon=\"6\"/></trkseg></trk></gpx>") << 2 << 0 << 2 << 0;
    QByteArray empties = "<gpx><trk>";
    for (int k = 0; k < 1000; ++k)
        empties += "<trkseg/><trkseg><trkpt lat=\"x\" lon=\"1\"/></trkseg>";
    QTest::newRow("empty segments") << empties + "<trkseg><trkpt lat=\"1\" lon=\"2\"/></trkseg></trk></gpx>" << 1 << 0 << 1 << 1000;
    QTest::newRow("empty coordinates")
        << QByteArray("<kml><Placemark><LineString><coordinates/></LineString></Placemark>"
                      "<Placemark><LineString><coordinates> </coordinates></LineString></Placemark>"
                      "<Placemark><Point><coordinates>1,2</coordinates></Point></Placemark></kml>") << 0 << 1 << 1 << 0;
    QTest::newRow("NaN among good points")
        << QByteArray("<gpx><trk><trkseg><trkpt lat=\"nan\" lon=\"1\"/><trkpt lat=\"1\" lon=\"2\"/>"
                      "<trkpt lat=\"2\" lon=\"inf\"/></trkseg></trk></gpx>") << 1 << 0 << 1 << 2;
    const QString kml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?><kml><Placemark><name>ä</name><LineString>"
                                       "<coordinates>1,2 3,4</coordinates></LineString></Placemark></kml>");
    QByteArray utf16("\xFF\xFE");
    utf16.append(reinterpret_cast<const char *>(kml.utf16()), kml.size() * 2);
    QTest::newRow("UTF-16 with a mark") << utf16 << 1 << 0 << 2 << 0;
    QTest::newRow("gx:Track")
        << QByteArray("<kml xmlns:gx=\"http://www.google.com/kml/ext/2.2\"><Placemark><name>ship</name><gx:Track>"
                      "<when>2011-04-07T00:00:00Z</when><when>2011-04-07T00:01:00Z</when>"
                      "<gx:coord>130.9 33.9 0</gx:coord><gx:coord>131.0 34.0 0</gx:coord><gx:coord>x y</gx:coord>"
                      "</gx:Track></Placemark></kml>") << 1 << 0 << 2 << 1;
}

void TestMap::oddFilesAreReadWhole()
{
    QFETCH(QByteArray, content);
    const TrackFile read = readTrackFile(write("odd", content));
    QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
    int lines = 0, loose = 0, points = 0;
    for (const Track &t : read.tracks) {
        (t.line ? lines : loose) += 1;
        points += int(t.size());
    }
    QTEST(lines, "lines");
    QTEST(loose, "loose");
    QTEST(points, "points");
    QTEST(int(read.skipped), "skipped");
    if (QByteArray(QTest::currentDataTag()) == "gx:Track") {
        QCOMPARE(read.tracks[0].name, QStringLiteral("ship"));
        QCOMPARE(read.tracks[0].time(1), QStringLiteral("2011-04-07T00:01:00Z"));
    }
}

void TestMap::linesAreBoundedNotEmptyOnes()
{
    // Lines cost memory beside their points, so their number is bounded;
    // empty lines make none and count for nothing.
    QByteArray many = "<gpx><trk>";
    QByteArray empty = many;
    for (long long k = 0; k <= kMaxFileTracks; ++k) {
        many += "<trkseg><trkpt lat=\"1\" lon=\"2\"/></trkseg>";
        empty += "<trkseg/>";
    }
    many += "</trk></gpx>";
    empty += "<trkseg><trkpt lat=\"1\" lon=\"2\"/></trkseg></trk></gpx>";
    QVERIFY(readTrackFile(write("many.gpx", many)).error.startsWith(QStringLiteral("more than 200000 lines")));
    const TrackFile read = readTrackFile(write("empty.gpx", empty));
    QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
    QCOMPARE(read.tracks.size(), std::size_t(1));

    // A loose point on a line's end marks it and is not drawn again; others are kept.
    QByteArray ends = "<kml>";
    for (int k = 0; k < 2000; ++k) {
        const QByteArray lon = QByteArray::number(100 + k * 0.01);
        ends += "<Placemark><LineString><coordinates>1,1 " + lon + ",2</coordinates></LineString></Placemark>"
                "<Placemark><Point><coordinates>" + lon + ",2</coordinates></Point></Placemark>"
                "<Placemark><Point><coordinates>" + lon + ",3</coordinates></Point></Placemark>";
    }
    const TrackFile marked = readTrackFile(write("ends.kml", ends + "</kml>"));
    QCOMPARE(marked.tracks.size(), std::size_t(2001));
    QCOMPARE(marked.tracks.back().size(), std::size_t(2000));
    QCOMPARE(marked.tracks.back().position(0).lat, 3.0);
}

void TestMap::areasOnFilledOffOutlined()
{
    MapScene scene;
    scene.areas[0] = {true, 33.95, 130.90, 0.02};  // A on
    scene.areas[1] = {false, 33.95, 131.00, 0.02}; // B off
    scene.areas[2] = {true, 0, 0, -1};             // C: a negative range matches nothing and is not drawn
    Viewport view;
    view.center = {33.95, 130.95};
    view.pixelsPerDegree = 4000;
    view.size = {640, 480};
    const QImage image = renderImage(view, scene);
    QCOMPARE(image.size(), QSize(640, 480));

    const QPoint insideA = view.toScreen({33.945, 130.905}).toPoint();
    const QPoint insideB = view.toScreen({33.945, 131.005}).toPoint();
    QVERIFY2(near(image.pixelColor(insideA), over(areaColors[0], 90, seaColor)),
             qPrintable(image.pixelColor(insideA).name()));
    QVERIFY(near(image.pixelColor(insideB), seaColor));
    // B's outline is there, in its colour.
    const QPointF bEdge = view.toScreen({33.95, 131.02});
    bool outline = false;
    for (int dx = -2; dx <= 2; ++dx)
        outline |= near(image.pixelColor(bEdge.toPoint() + QPoint(dx, 0)), areaColors[1], 40);
    QVERIFY(outline);
    // Without a coastline file the corner says so: dark text on a pale box at the bottom right.
    bool note = false;
    for (int x = 400; x < 635 && !note; ++x)
        for (int y = 450; y < 478 && !note; ++y)
            note = image.pixelColor(x, y).red() > 100 && image.pixelColor(x, y).green() < 80;
    QVERIFY(note);
}

void TestMap::trackIsDrawnAndHovered()
{
    Track t;
    t.name = QStringLiteral("431000001 KANMON MARU 20110407");
    t.append({33.90, 130.90}, 0.2, u"00:10:00", u"at anchor");
    t.append({33.95, 130.95}, 12.0, u"06:00:00");
    t.append({34.00, 131.00}, 25.0, u"23:50:00", u"under way using engine");
    MapScene scene;
    scene.showAreas = false;
    scene.tracks.push_back(std::make_shared<const Track>(t));
    const GeoBox box = sceneBounds(scene);
    QCOMPARE(box.south, 33.90);
    QCOMPARE(box.east, 131.00);
    const Viewport view = fitBox(box, {600, 600}, 60);
    const QImage image = renderImage(view, scene);

    // The middle point in the colour of 10 to 15 knots; halfway between two points, the line.
    const QPoint middle = view.toScreen({33.95, 130.95}).toPoint();
    QVERIFY2(near(image.pixelColor(middle), speedColor(12.0), 30), qPrintable(image.pixelColor(middle).name()));
    const QPoint onLine = ((view.toScreen({33.95, 130.95}) + view.toScreen({34.00, 131.00})) / 2).toPoint();
    bool line = false;
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy)
            line |= near(image.pixelColor(onLine + QPoint(dx, dy)), trackColor(0), 40);
    QVERIFY(line);
    QVERIFY(speedColor(0.2) != speedColor(12) && speedColor(12) != speedColor(25));
    // Zoomed as far as the map goes into a segment's middle: still drawn, through the view.
    Viewport deep = view;
    deep.center = unproject((project({33.95, 130.95}) + project({34.00, 131.00})) / 2);
    deep.pixelsPerDegree = 5.0e6;
    const QImage close = renderImage(deep, scene);
    QVERIFY(near(close.pixelColor(QPoint(300, 300)), trackColor(0), 40));

    const PointRef hit = pointAt(scene, view, QPointF(middle) + QPointF(3, -2));
    QCOMPARE(hit.track, 0);
    QCOMPARE(hit.index, std::size_t(1));
    QCOMPARE(pointAt(scene, view, QPointF(middle) + QPointF(40, 0)).track, -1);
    QCOMPARE(pointText(t, 2), QStringLiteral("431000001 KANMON MARU 20110407\n23:50:00\n25.0 kn\n"
                                             "34.00000 N, 131.00000 E\nunder way using engine"));
}

void TestMap::fitKeepsClearOfTheLegendOnAnySize()
{
    // A day whose end lies at the top right of its box, where the legend goes.
    MapScene scene;
    scene.showAreas = false;
    Track day;
    day.name = QStringLiteral("431000001 KANMON MARU 20110407");
    day.append({33.90, 130.90}, 3, u"00:00:00");
    day.append({34.00, 131.00}, 3, u"23:59:00");
    scene.tracks.push_back(std::make_shared<const Track>(day));
    for (const QSizeF size : {QSizeF(1200, 900), QSizeF(900, 650), QSizeF(500, 400)}) {
        const Viewport view = fitScene(scene, size);
        const QRectF legend = legendRect(size, scene);
        QVERIFY(!legend.isEmpty());
        const QRectF endMark(view.toScreen({34.00, 131.00}) - QPointF(30, 30), QSizeF(60, 60));
        QVERIFY2(!legend.intersects(endMark), qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));
    }
    // A small image gets no legend and a map of most of its size.
    const Viewport small = fitScene(scene, {64, 64});
    QVERIFY(legendRect({64, 64}, scene).isEmpty());
    QVERIFY((small.toScreen({34.00, 131.00}) - small.toScreen({33.90, 130.90})).x() > 30);

    // Thousands of lines: the legend names ten and counts the rest, and stays on the image.
    for (int k = 0; k < 3000; ++k) {
        Track t;
        t.name = QStringLiteral("ship %1").arg(k);
        t.append({33.0 + k * 0.0003, 130.0 + k * 0.0003});
        scene.tracks.push_back(std::make_shared<const Track>(std::move(t)));
    }
    const QRectF legend = legendRect({1200, 900}, scene);
    QVERIFY(!legend.isEmpty());
    QVERIFY(legend.bottom() < 450);
    const Viewport crowd = fitScene(scene, {1200, 900});
    QVERIFY(!legend.contains(crowd.toScreen({34.00, 131.00})));
    QCOMPARE(renderImage(crowd, scene).size(), QSize(1200, 900));
}

void TestMap::antimeridianPolesAndZeroLabels()
{
    // 45 km from 179.5 E to 179.5 W: one short line, not one around the world.
    Track across;
    across.append({-16.8, 179.8});
    across.append({-16.9, -179.8});
    QVERIFY(std::fabs(across.world(1).x() - 180.2) < 1e-9);
    QCOMPARE(across.position(1).lon, -179.8);
    MapScene scene;
    scene.showAreas = false;
    scene.tracks.push_back(std::make_shared<const Track>(across));
    const Viewport view = fitScene(scene, {600, 400});
    QVERIFY(view.pixelsPerDegree > 500);
    const QImage image = renderImage(view, scene);
    const QPoint middle = view.toScreen({-16.85, 180.0}).toPoint();
    bool line = false;
    for (int dx = -2; dx <= 2; ++dx)
        for (int dy = -2; dy <= 2; ++dy)
            line |= near(image.pixelColor(middle + QPoint(dx, dy)), trackColor(0), 40);
    QVERIFY(line);
    // Loose points near 180 stay together; spread ones stay within a turn.
    Track loose;
    loose.line = false;
    for (double lon : {179.9, -179.9, 0.0, -170.0})
        loose.append({0, lon});
    QVERIFY(loose.bounds().east - loose.bounds().west <= 360);
    QVERIFY(std::fabs(loose.world(1).x() - 180.1) < 1e-9);
    // An area near 180 is drawn again a turn on.
    scene.showAreas = true;
    scene.areas[0] = {true, -16.85, -179.99, 0.01};
    const QImage withArea = renderImage(view, scene);
    QVERIFY(near(withArea.pixelColor(view.toScreen({-16.85, 180.01}).toPoint()), over(areaColors[0], 90, seaColor)));

    // Nearer the poles than Mercator reaches: said, not silently moved.
    QVERIFY(!mapNotes(scene).join(u'\n').contains(QStringLiteral("85.05")));
    Track polar;
    polar.append({89.5, 10});
    polar.append({89.9, 20});
    scene.tracks.push_back(std::make_shared<const Track>(polar));
    QVERIFY(mapNotes(scene).join(u'\n').contains(QStringLiteral("beyond 85.05°")));

    QCOMPARE(latitudeText(0, 10), QStringLiteral("0°"));
    QCOMPARE(longitudeText(0, 0.5), QStringLiteral("0°"));
    QCOMPARE(longitudeText(-180, 30), QStringLiteral("180°"));
    QCOMPARE(latitudeText(-10, 10), QStringLiteral("10°S"));
    QCOMPARE(longitudeText(179.5, 0.5), QStringLiteral("179°30'E"));
}

void TestMap::windowMovesAndSavesTheMap()
{
    MapWindow window;
    Track t;
    t.append({33.90, 130.90}, 3);
    t.append({34.00, 131.00}, 9);
    window.addTrack(std::move(t));
    MapCanvas *canvas = window.canvas();
    canvas->setFixedSize(600, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    Viewport &view = canvas->viewport();
    const Viewport fitted = view;
    QCOMPARE(view.size, QSizeF(600, 400));

    QTest::keyClick(canvas, Qt::Key_Plus);
    QCOMPARE(view.pixelsPerDegree, fitted.pixelsPerDegree * 1.5);
    QTest::keyClick(canvas, Qt::Key_Left);
    QVERIFY(view.center.lon < fitted.center.lon);
    const QPointF cursor(150, 100);
    const LatLon under = view.toGeo(cursor);
    QWheelEvent wheel(cursor, canvas->mapToGlobal(cursor), {}, {0, 240}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &wheel);
    QVERIFY(view.pixelsPerDegree > fitted.pixelsPerDegree * 1.5);
    QVERIFY((view.toScreen(under) - cursor).manhattanLength() < 1e-6);
    QTest::keyClick(canvas, Qt::Key_Home);
    QCOMPARE(view.pixelsPerDegree, fitted.pixelsPerDegree);

    // Ctrl+S and Ctrl+C take the map as it is on screen.
    const QString path = m_dir->filePath("map.png");
    QVERIFY(window.saveImage(path));
    QCOMPARE(QImage(path).size(), QSize(600, 400));
    window.copyImage();
    QCOMPARE(QApplication::clipboard()->image().size(), QSize(600, 400));
}

void TestMap::emptyWindowOpensFilesLater()
{
    // Started alone without files: the default view, nothing to fit.
    MapWindow window;
    window.canvas()->setFixedSize(600, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const Viewport empty = window.canvas()->viewport();
    QCOMPARE(empty.center.lat, fitScene(window.scene(), QSizeF(600, 400)).center.lat);

    // Open... with a readable file among unreadable ones: the good one is
    // shown and fitted, the others said in a box that does not block.
    const QString good = write("good.gpx", "<gpx><trk><trkseg><trkpt lat=\"60.0\" lon=\"5.0\"/>"
                                           "<trkpt lat=\"60.1\" lon=\"5.1\"/></trkseg></trk></gpx>");
    const QString bad = write("bad.kml", "<kml><Document><Placemark><LineString><coord");
    const QStringList errors = window.addFiles({good, bad, m_dir->filePath("missing.geojson")});
    QCOMPARE(errors.size(), 2);
    QCOMPARE(window.trackCount(), std::size_t(1));
    const Viewport &view = window.canvas()->viewport();
    QVERIFY(!QRectF(0, 0, 600, 400).contains(empty.toScreen({60.0, 5.0})));
    for (const LatLon end : {LatLon{60.0, 5.0}, LatLon{60.1, 5.1}})
        QVERIFY(QRectF(0, 0, 600, 400).contains(view.toScreen(end)));
    auto *box = window.findChild<QMessageBox *>();
    QVERIFY(box && box->isVisible());
    QVERIFY(box->text().contains("bad.kml: not well-formed XML") && box->text().contains("missing.geojson: no such file"));
    box->close();

    // All read: no box.
    QVERIFY(window.addFiles({good}).isEmpty());
    QCOMPARE(window.trackCount(), std::size_t(2));
    QVERIFY(!window.findChild<QMessageBox *>() || !window.findChild<QMessageBox *>()->isVisible());
}

QTEST_MAIN(TestMap)
#include "test_map.moc"

#include "map_window/coastline.h"
#include "map_window/coastlinefile.h"
#include "map_window/coastlinegeometry.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#ifdef VELK_COASTLINE_CONVERT
#include <netcdf.h>
#endif

using namespace Coast;

namespace {

constexpr Point sw{0, 0}, se{maxDelta, 0}, ne{maxDelta, maxDelta}, nw{0, maxDelta};

Segment segment(int level, int entry, int exit, std::vector<Point> points)
{
    return {level, entry, exit, std::move(points)};
}

// One 20-degree grid: a coast through bin 38 with land to its west and an
// islet east of it, bin 100 all land, the rest open sea.
Resolution smallResolution()
{
    Resolution r;
    r.letter = 'c';
    r.binSizeMinutes = 1200;
    r.binsX = 18;
    r.binsY = 9;
    r.bins.resize(162);
    r.bins[38].cornerLevels = {1, 0, 0, 1};
    r.bins[38].segments = {segment(1, 0, 2, {{30000, 0}, {31000, 30000}, {30000, maxDelta}}),
                           segment(1, noSide, noSide, {{50000, 20000}, {60000, 20000}, {55000, 30000}})};
    r.bins[100].cornerLevels = {1, 1, 1, 1};
    return r;
}

const QColor sea(0x20, 0x40, 0x80);
const QColor land(0xe0, 0xd0, 0xa0);

QImage render(Map::Coastline &coast, const Map::Viewport &view)
{
    QImage image(view.size.toSize(), QImage::Format_RGB32);
    image.fill(sea);
    QPainter p(&image);
    coast.setLandBrush(land);
    coast.draw(p, view);
    return image;
}

bool isLand(const QImage &image, const Map::Viewport &view, Map::LatLon at)
{
    return image.pixelColor(view.toScreen(at).toPoint()) == land;
}

} // namespace

class TestCoastline : public QObject
{
    Q_OBJECT

private slots:
    void closesRingsAlongTheBinSides();
    void findsTheBinsOfAView();
    void picksTheNearestResolution();
    void roundTripsAndRefusesDamagedFiles();
    void damagedOrCraftedBinsAreSaidAndBounded_data();
    void damagedOrCraftedBinsAreSaidAndBounded();
    void convertsGshhgNetcdf();
    void drawsTheKanmonStrait_data();
    void drawsTheKanmonStrait();
};

void TestCoastline::closesRingsAlongTheBinSides()
{
    // A coast from the south side to the north side, land on its left (west):
    // the ring runs up the coast and back down the west side's corners.
    Bin half{{1, 0, 0, 1}, {segment(1, 0, 2, {{30000, 0}, {30000, maxDelta}})}};
    auto rings = closeBin(half);
    QCOMPARE(rings.size(), size_t(1));
    QCOMPARE(rings[0].points, (std::vector<Point>{{30000, 0}, {30000, maxDelta}, nw, sw}));
    QCOMPARE(rings[0].level, 1);

    // A channel: two coasts, each closing with its own corners.
    Bin channel{{1, 1, 1, 1},
                {segment(1, 0, 2, {{20000, 0}, {20000, maxDelta}}), segment(1, 2, 0, {{40000, maxDelta}, {40000, 0}})}};
    rings = closeBin(channel);
    QCOMPARE(rings.size(), size_t(2));
    QCOMPARE(rings[1].points, (std::vector<Point>{{40000, maxDelta}, {40000, 0}, se, ne}));

    // A band of land across the bin: its two coasts join into one ring
    // without a corner.
    Bin band{{0, 0, 0, 0},
             {segment(1, 3, 1, {{0, 20000}, {maxDelta, 20000}}), segment(1, 1, 3, {{maxDelta, 40000}, {0, 40000}})}};
    rings = closeBin(band);
    QCOMPARE(rings.size(), size_t(1));
    QCOMPARE(rings[0].points.size(), size_t(4));

    // Sea in the south-west corner only: three corners of land.
    Bin bay{{0, 1, 1, 1}, {segment(1, 3, 0, {{0, 30000}, {30000, 0}})}};
    rings = closeBin(bay);
    QCOMPARE(rings[0].points, (std::vector<Point>{{0, 30000}, {30000, 0}, se, ne, nw}));

    // A shore of a lake crossing land: the face it bounds is land.
    Bin lakeShore{{1, 2, 2, 1}, {segment(2, 0, 2, {{30000, 0}, {30000, maxDelta}})}};
    QCOMPARE(closeBin(lakeShore)[0].level, 1);

    // Inside land with a lake and an island in it: the bin, then the rings.
    Bin lake{{1, 1, 1, 1},
             {segment(2, noSide, noSide, {{100, 100}, {900, 100}, {500, 900}}),
              segment(3, noSide, noSide, {{400, 300}, {600, 300}, {500, 500}})}};
    rings = closeBin(lake);
    QCOMPARE(rings.size(), size_t(3));
    QCOMPARE(rings[0].points, (std::vector<Point>{sw, se, ne, nw}));
    QCOMPARE(rings[1].level, 2);

    // A bin all lake or all sea fills nothing.
    QVERIFY(closeBin(Bin{{2, 2, 2, 2}, {}}).empty());
    QVERIFY(closeBin(Bin{{0, 0, 0, 0}, {}}).empty());

    // Clipping a ring to the view: the overlap, nothing, or the view whole.
    const QPointF square[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    auto area = [](const std::vector<QPointF> &p) {
        double a = 0;
        for (size_t i = 0; i < p.size(); ++i)
            a += p[i].x() * p[(i + 1) % p.size()].y() - p[(i + 1) % p.size()].x() * p[i].y();
        return std::abs(a) / 2;
    };
    QCOMPARE(area(clipRing(square, 4, QRectF(5, 5, 10, 10))), 25.0);
    QVERIFY(clipRing(square, 4, QRectF(20, 20, 5, 5)).empty());
    QCOMPARE(area(clipRing(square, 4, QRectF(2, 3, 4, 5))), 20.0);
}

void TestCoastline::findsTheBinsOfAView()
{
    // Bins run from 0 to 360 E: across the antimeridian from the west, both
    // columns are a turn back; across 360 E, the second is a turn on.
    auto bins = binsInBox({10.2, -180.5, 10.8, -179.5}, 60);
    QCOMPARE(bins, (std::vector<BinRef>{{79 * 360 + 179, -360}, {79 * 360 + 180, -360}}));
    bins = binsInBox({10.2, 359.5, 10.8, 360.5}, 60);
    QCOMPARE(bins, (std::vector<BinRef>{{79 * 360 + 359, 0}, {79 * 360 + 0, 360}}));
    // West of Greenwich is the last column, one turn back.
    bins = binsInBox({-0.5, -0.5, -0.2, 0.5}, 60);
    QCOMPARE(bins, (std::vector<BinRef>{{90 * 360 + 359, -360}, {90 * 360 + 0, 0}}));
    // The poles and a view wider than the world stay bounded.
    bins = binsInBox({-95, -1000, 95, 1000}, 1200);
    QCOMPARE(bins.size(), size_t(9 * 18 * 4));
}

void TestCoastline::picksTheNearestResolution()
{
    QCOMPARE(pickLevel({'c', 'l'}, 'f'), 1);
    QCOMPARE(pickLevel({'c', 'l', 'i', 'h', 'f'}, 'i'), 2);
    QCOMPARE(pickLevel({'h', 'f'}, 'c'), 0);
    QCOMPARE(pickLevel({}, 'c'), -1);
    QCOMPARE(resolutionFor(20), 'f');
    QCOMPARE(resolutionFor(50000), 'c');
}

void TestCoastline::roundTripsAndRefusesDamagedFiles()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("coast.bin");
    QString error;
    const Resolution written = smallResolution();
    QVERIFY(writeFile(path, {written}, "2.3.7", &error));

    File file;
    QVERIFY2(file.open(path), qPrintable(file.error()));
    QCOMPARE(file.gshhgVersion(), QString("2.3.7"));
    for (int i : {38, 100, 0}) {
        Bin bin;
        QVERIFY(file.readBin(0, i, bin));
        QCOMPARE(bin, written.bins[i]);
    }
    file.close();

    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray good = f.readAll();
    f.close();
    auto opened = [&](const QByteArray &bytes, QString *message) {
        const QString p = dir.filePath("damaged.bin");
        QFile out(p);
        out.open(QIODevice::WriteOnly | QIODevice::Truncate);
        out.write(bytes);
        out.close();
        Map::Coastline coast;
        const bool ok = coast.open(p);
        *message = coast.error();
        return ok;
    };
    QString message;
    QByteArray other = good;
    other[8] = 2;
    QVERIFY(!opened(other, &message));
    QVERIFY2(message.contains("format version 2") && message.contains("reads version 1"), qPrintable(message));
    QVERIFY(!opened(good.left(good.size() - 10), &message));
    QVERIFY2(message.contains("truncated"), qPrintable(message));
    QVERIFY(!opened(good.left(20), &message));
    QVERIFY(!opened(QByteArray(4096, 'x'), &message));
    QVERIFY2(message.contains("not a coastline file"), qPrintable(message));

    // A damaged bin is found when it is first drawn: nothing is filled from
    // it, and the message says which.
    QByteArray hurt = good;
    for (qsizetype i = hurt.size() - 12; i < hurt.size() - 4; ++i)
        hurt[i] = char(~hurt[i]);
    const QString hurtPath = dir.filePath("hurt.bin");
    QFile out(hurtPath);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(hurt);
    out.close();
    Map::Coastline coast;
    QVERIFY(coast.open(hurtPath));
    const Map::Viewport view = Map::fitBox({40, 40, 50, 50}, {100, 100}, 0);
    render(coast, view);
    QVERIFY2(coast.error().contains("damaged"), qPrintable(coast.error()));
}

namespace {

// A block of one closed segment of `points` points, all but the first at no
// distance from the one before: what a crafted file would inflate from little.
QByteArray craftedBlock(quint32 points)
{
    QByteArray raw;
    raw += char(1);                       // one segment
    raw += char(1);                       // land
    raw += char((noSide << 4) | noSide);  // closed in the bin
    for (quint32 v = points; ; v >>= 7) { // point count
        raw += char((v & 0x7f) | (v >= 0x80 ? 0x80 : 0));
        if (v < 0x80)
            break;
    }
    raw += QByteArray(qsizetype(points) * 2, '\0');
    return qCompress(raw, 9);
}

} // namespace

void TestCoastline::damagedOrCraftedBinsAreSaidAndBounded_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("message");
    QTest::newRow("offset out of range") << "offset" << "damaged (bin 38";
    QTest::newRow("size out of range") << "size" << "damaged (bin 38";
    QTest::newRow("flipped byte") << "flip" << "damaged (bin 38";
    QTest::newRow("truncated, size made to agree") << "truncate" << "damaged (bin 38";
    QTest::newRow("too many points") << "points" << "damaged (bin 38";
    QTest::newRow("lying length prefix") << "prefix" << "damaged (bin 38";
    QTest::newRow("one block behind every bin") << "shared" << "more than a frame may decode";
}

void TestCoastline::damagedOrCraftedBinsAreSaidAndBounded()
{
    QFETCH(QString, damage);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = dir.filePath("coast.bin");
    QString error;
    QVERIFY(writeFile(path, {smallResolution()}, "2.3.7", &error));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QByteArray bytes = f.readAll();
    const qsizetype table = qsizetype(qFromLittleEndian<quint64>(bytes.constData() + headerSize + 16));
    const qsizetype row38 = table + 38 * binRowSize;
    const qsizetype block = qsizetype(qFromLittleEndian<quint64>(bytes.constData() + row38));
    auto setRow = [&](qsizetype row, quint64 offset, quint32 size) {
        qToLittleEndian(offset, bytes.data() + row);
        qToLittleEndian(size, bytes.data() + row + 8);
    };
    auto append = [&](const QByteArray &b) {
        const quint64 at = quint64(bytes.size());
        bytes += b;
        qToLittleEndian(quint64(bytes.size()), bytes.data() + 16);
        return at;
    };
    if (damage == "offset") {
        setRow(row38, quint64(bytes.size()) + 1, 10);
    } else if (damage == "size") {
        setRow(row38, quint64(block), 0xffffff);
    } else if (damage == "flip") {
        bytes[block + 8] = char(~bytes[block + 8]);
    } else if (damage == "truncate") {
        bytes.truncate(block + 6);
        qToLittleEndian(quint64(bytes.size()), bytes.data() + 16);
    } else if (damage == "points") {
        const QByteArray b = craftedBlock(maxBinPoints + 1);
        setRow(row38, append(b), quint32(b.size()));
    } else if (damage == "prefix") {
        QByteArray b = craftedBlock(maxBinPoints);
        qToBigEndian(quint32(1000), b.data());
        setRow(row38, append(b), quint32(b.size()));
    } else if (damage == "shared") {
        // Each bin within its own bounds, together far over a frame's.
        const QByteArray b = craftedBlock(maxBinPoints);
        const quint64 at = append(b);
        for (int i = 0; i < 162; ++i)
            if (i != 100)
                setRow(table + i * binRowSize, at, quint32(b.size()));
    }
    QVERIFY(f.seek(0));
    QVERIFY(f.resize(0));
    f.write(bytes);
    f.close();

    Map::Coastline coast;
    QVERIFY2(coast.open(path), qPrintable(coast.error()));
    QVERIFY(!coast.isDamaged());
    // Bins 38 (lat 30..50, lon 40..60) and 100 (all land, lat -30..-10, lon -160..-140).
    const Map::Viewport view = Map::fitBox({-30, 40, 50, 220}, {360, 200}, 0);
    const QImage image = render(coast, view);
    QVERIFY(coast.isDamaged());
    QVERIFY2(coast.error().contains(message), qPrintable(coast.error()));
    // The rest of the map still draws.
    QVERIFY(isLand(image, view, {-20, 210}));
}

void TestCoastline::convertsGshhgNetcdf()
{
#ifndef VELK_COASTLINE_CONVERT
    QSKIP("built without libnetcdf: no converter");
#else
    // GSHHG's layout in small: 162 bins of 20 degrees, the coast and islet of
    // bin 38, bin 100 all land, and in bin 150 an Antarctic ice front (kept
    // as land) and a grounding line (level 6, left out).
    QTemporaryDir dir;
    const QByteArray nc = dir.filePath("binned_GSHHS_c.nc").toLocal8Bit();
    int id = 0;
    QCOMPARE(nc_create(nc.constData(), NC_CLOBBER, &id), NC_NOERR);
    int dScalar, dBins, dSegs, dPoints;
    nc_def_dim(id, "Dimension_of_scalar", 1, &dScalar);
    nc_def_dim(id, "Dimension_of_bin_arrays", 162, &dBins);
    nc_def_dim(id, "Dimension_of_segment_arrays", 4, &dSegs);
    nc_def_dim(id, "Dimension_of_point_arrays", 12, &dPoints);
    auto def = [&](const char *name, nc_type type, int dim) {
        int v;
        nc_def_var(id, name, type, 1, &dim, &v);
        return v;
    };
    const int vSize = def("Bin_size_in_minutes", NC_INT, dScalar);
    const int vNx = def("N_bins_in_360_longitude_range", NC_INT, dScalar);
    const int vNy = def("N_bins_in_180_degree_latitude_range", NC_INT, dScalar);
    const int vCorners = def("Embedded_node_levels_in_a_bin", NC_SHORT, dBins);
    const int vCount = def("N_segments_in_a_bin", NC_SHORT, dBins);
    const int vFirst = def("Id_of_first_segment_in_a_bin", NC_INT, dBins);
    const int vInfo = def("Embedded_npts_levels_exit_entry_for_a_segment", NC_INT, dSegs);
    const int vStart = def("Id_of_first_point_in_a_segment", NC_INT, dSegs);
    const int vAnt = def("Embedded_ANT_flag", NC_BYTE, dSegs);
    const int vDx = def("Relative_longitude_from_SW_corner_of_bin", NC_SHORT, dPoints);
    const int vDy = def("Relative_latitude_from_SW_corner_of_bin", NC_SHORT, dPoints);
    nc_put_att_text(id, NC_GLOBAL, "version", 5, "2.3.7");
    QCOMPARE(nc_enddef(id), NC_NOERR);

    const int size = 1200, nx = 18, ny = 9;
    nc_put_var_int(id, vSize, &size);
    nc_put_var_int(id, vNx, &nx);
    nc_put_var_int(id, vNy, &ny);
    std::vector<short> corners(162), count(162);
    std::vector<int> first(162);
    corners[38] = (1 << 9) | 1; // south-west and north-west on land
    corners[100] = (1 << 9) | (1 << 6) | (1 << 3) | 1;
    count[38] = 2;
    count[150] = 2;
    first[150] = 2;
    auto info = [](int points, int level, int entry, int exit) { return points << 9 | level << 6 | entry << 3 | exit; };
    const int infos[4] = {info(3, 1, 0, 2), info(3, 1, 4, 4), info(3, 1, 4, 4), info(3, 6, 4, 4)};
    const int starts[4] = {0, 3, 6, 9};
    const signed char ant[4] = {0, 0, 1, 0};
    const unsigned short dx[12] = {30000, 31000, 30000, 50000, 60000, 55000, 100, 900, 500, 200, 800, 500};
    const unsigned short dy[12] = {0, 30000, 65535, 20000, 20000, 30000, 100, 100, 900, 200, 200, 800};
    nc_put_var_short(id, vCorners, corners.data());
    nc_put_var_short(id, vCount, count.data());
    nc_put_var_int(id, vFirst, first.data());
    nc_put_var_int(id, vInfo, infos);
    nc_put_var_int(id, vStart, starts);
    nc_put_var_schar(id, vAnt, ant);
    nc_put_var_short(id, vDx, reinterpret_cast<const short *>(dx));
    nc_put_var_short(id, vDy, reinterpret_cast<const short *>(dy));
    QCOMPARE(nc_close(id), NC_NOERR);

    const QString out = dir.filePath("coastline.bin");
    QProcess convert;
    convert.start(VELK_COASTLINE_CONVERT, {out, QString::fromLocal8Bit(nc)});
    QVERIFY(convert.waitForFinished());
    QVERIFY2(convert.exitCode() == 0, convert.readAllStandardError().constData());

    File file;
    QVERIFY2(file.open(out), qPrintable(file.error()));
    QCOMPARE(file.levels().size(), size_t(1));
    QCOMPARE(file.levels()[0].letter, 'c');
    QCOMPARE(file.levels()[0].pointCount, quint64(9));
    const Resolution expected = smallResolution();
    for (int i = 0; i < 162; ++i) {
        Bin bin;
        QVERIFY(file.readBin(0, i, bin));
        if (i == 150) {
            QCOMPARE(bin.segments.size(), size_t(1));
            QCOMPARE(bin.segments[0], segment(1, noSide, noSide, {{100, 100}, {900, 100}, {500, 900}}));
        } else {
            QCOMPARE(bin, expected.bins[i]);
        }
    }

    // And a converter given a file that is not netCDF says so.
    QFile bad(dir.filePath("bad.nc"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("not netcdf");
    bad.close();
    convert.start(VELK_COASTLINE_CONVERT, {dir.filePath("x.bin"), bad.fileName()});
    QVERIFY(convert.waitForFinished());
    QCOMPARE(convert.exitCode(), 1);
    QVERIFY(convert.readAllStandardError().contains("bad.nc"));
#endif
}

void TestCoastline::drawsTheKanmonStrait_data()
{
    QTest::addColumn<char>("resolution");
    QTest::newRow("crude") << 'c';
    QTest::newRow("high") << 'h';
    QTest::newRow("full") << 'f';
}

void TestCoastline::drawsTheKanmonStrait()
{
#ifndef VELK_TEST_COASTLINE
    QSKIP("no coastline file was generated (libnetcdf or GSHHG missing at configure time)");
#else
    QFETCH(char, resolution);
    Map::Coastline coast;
    QVERIFY2(coast.open(VELK_TEST_COASTLINE), qPrintable(coast.error()));
    coast.setResolution(resolution);
    Map::Viewport view;
    view.size = {800, 600};
    struct Place {
        const char *name;
        Map::LatLon at;
        bool land;
    };
    std::vector<Place> places;
    if (resolution == 'c') {
        // East Asia at 4.6 km a pixel, where crude is the choice.
        view.center = {33.97, 130.97};
        view.pixelsPerDegree = 20;
        coast.setResolution(0);
        QCOMPARE(coast.resolutionFor(view), 'l');
        coast.setResolution('c');
        places = {{"Nagano", {36.0, 138.0}, true},   {"Aso", {32.8, 131.0}, true},
                  {"Korea Strait", {35.5, 130.0}, false}, {"Pacific", {30.0, 140.0}, false}};
    } else {
        // The narrows at 11.5 m a pixel: both shores and the water between.
        view.center = {33.955, 130.955};
        view.pixelsPerDegree = 8000;
        places = {{"Shimonoseki", {33.9747, 130.9313}, true}, {"Moji", {33.9436, 130.9813}, true},
                  {"Hayatomo narrows", {33.9581, 130.9563}, false}, {"Kanmon port", {33.9436, 130.9387}, false},
                  {"Suo-nada", {33.9788, 130.9963}, false}};
    }
    QCOMPARE(coast.resolutionFor(view), resolution);
    const QImage image = render(coast, view);
    QVERIFY2(coast.error().isEmpty(), qPrintable(coast.error()));
    for (const Place &p : places)
        QVERIFY2(isLand(image, view, p.at) == p.land, p.name);
    // Only the few bins around the strait were read.
    QVERIFY(coast.loadedBytes() > 0);
    QVERIFY(coast.loadedBytes() < 8 * 1024 * 1024);
#endif
}

QTEST_MAIN(TestCoastline)
#include "test_coastline.moc"

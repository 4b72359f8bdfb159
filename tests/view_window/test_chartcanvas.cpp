#include "view_window/chartcanvas.h"

#include "platform/fonts.h"

#include <QtTest>

#include <limits>

using Module1::ChartPrimitive;
namespace Chart = Module1::Chart;

namespace {

const QColor kWhite(255, 255, 255);
const QColor kCount(100, 150, 100);
const QColor kSpeed(199, 75, 75);
const QColor kGrid(180, 180, 180);

QColor at(const QImage &image, int x, int y)
{
    return image.pixelColor(x, y);
}

int pixelsOf(const QImage &image, const QRect &area, const QColor &color)
{
    int n = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += image.pixelColor(x, y) == color;
    return n;
}

bool allWhite(const QImage &image)
{
    return pixelsOf(image, image.rect(), kWhite) == image.width() * image.height();
}

ChartPrimitive primitive(ChartPrimitive::Kind kind, double x1, double y1, double x2, double y2)
{
    return {kind, {0, 0, 255}, x1, y1, x2, y2, {}};
}

} // namespace

class TestChartCanvas : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Platform::installFontSubstitutions(); }

    void gridLinesAndScaleLabels_data();
    void gridLinesAndScaleLabels();
    void hourLabelsUnderTheirBars();
    void countBarOutline_data();
    void countBarOutline();
    void stackedBarsKeepEveryTopEdge();
    void speedTick_data();
    void speedTick();
    void overflowCountOnlyAbove150_data();
    void overflowCountOnlyAbove150();
    void textTopLeftAtPosition();
    void hugeCoordinates();
    void boxCornersInEitherOrder();
    void clearLeavesWhite();
    void highDpiKeepsPixelsCrisp();
};

void TestChartCanvas::gridLinesAndScaleLabels_data()
{
    QTest::addColumn<int>("i");
    QTest::addColumn<int>("row");
    // 6100 - 600 i twips, to the nearest pixel.
    QTest::newRow("zero line") << 0 << 407;
    QTest::newRow("15 reports / 5 knots") << 1 << 367;
    QTest::newRow("75 reports / 25 knots") << 5 << 207;
    QTest::newRow("top of the scale") << 10 << 7;
}

void TestChartCanvas::gridLinesAndScaleLabels()
{
    QFETCH(int, i);
    QFETCH(int, row);
    ChartCanvas canvas;
    for (const ChartPrimitive &p : Chart::frame())
        canvas.draw(p);
    const QImage &image = canvas.image();

    QCOMPARE(at(image, 7, row), kGrid);
    QCOMPARE(at(image, 300, row), kGrid);
    QCOMPARE(at(image, 607, row), kGrid);
    QCOMPARE(at(image, 6, row), kWhite);
    QCOMPARE(at(image, 608, row), kWhite);
    QCOMPARE(at(image, 300, row - 1), kWhite);
    QCOMPARE(at(image, 300, row + 1), kWhite);

    // Each label's top is 70 twips above its line: count labels from x 613, speed labels from x 640.
    const int labelTop = row - 5;
    QVERIFY(pixelsOf(image, QRect(613, labelTop, 26, 14), kCount) > 0);
    QVERIFY(pixelsOf(image, QRect(640, labelTop, 24, 14), kSpeed) > 0);
    QCOMPARE(pixelsOf(image, QRect(613, labelTop, 26, 14), kSpeed), 0);
}

void TestChartCanvas::hourLabelsUnderTheirBars()
{
    ChartCanvas canvas;
    for (const ChartPrimitive &p : Chart::hourLabels())
        canvas.draw(p);
    const QImage &image = canvas.image();
    for (int h = 0; h < 24; ++h) {
        const int left = qRound((200 + 375.0 * h) / 15);
        QVERIFY2(pixelsOf(image, QRect(left, 413, 18, 14), kSpeed) > 0, qPrintable(QString::number(h)));
    }
    QCOMPARE(pixelsOf(image, QRect(0, 0, 665, 410), kSpeed), 0);
}

void TestChartCanvas::countBarOutline_data()
{
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("count");
    QTest::addColumn<QRect>("outline");
    QTest::newRow("05h, 1 report") << 5 << 1 << QRect(QPoint(132, 404), QPoint(155, 407));
    QTest::newRow("00h, 10 reports") << 0 << 10 << QRect(QPoint(7, 380), QPoint(30, 407));
    QTest::newRow("23h, 150 reports") << 23 << 150 << QRect(QPoint(582, 7), QPoint(605, 407));
}

void TestChartCanvas::countBarOutline()
{
    QFETCH(int, hour);
    QFETCH(int, count);
    QFETCH(QRect, outline);
    ChartCanvas canvas;
    canvas.draw(Chart::countBar(hour, count));
    const QImage &image = canvas.image();

    const QPoint centre = outline.center();
    for (const QPoint &p : {outline.topLeft(), outline.topRight(), outline.bottomLeft(), outline.bottomRight(),
                            QPoint(centre.x(), outline.top()), QPoint(centre.x(), outline.bottom()),
                            QPoint(outline.left(), centre.y()), QPoint(outline.right(), centre.y())})
        QCOMPARE(at(image, p.x(), p.y()), kCount);
    const QRect inside = outline.adjusted(1, 1, -1, -1);
    QCOMPARE(pixelsOf(image, inside, kWhite), inside.width() * inside.height());
    const QRect around = outline.adjusted(-1, -1, 1, 1);
    QCOMPARE(pixelsOf(image, around, kCount), outline.width() * outline.height() - inside.width() * inside.height());
}

void TestChartCanvas::stackedBarsKeepEveryTopEdge()
{
    ChartCanvas canvas;
    for (int n = 1; n <= 3; ++n)
        canvas.draw(Chart::countBar(5, n));
    const QImage &image = canvas.image();
    // Tops at 6100 - 40 n twips: 404, 401 and 399 px.
    for (int row : {399, 401, 404, 407})
        QCOMPARE(at(image, 140, row), kCount);
    for (int row : {398, 400, 402, 403, 405, 406})
        QCOMPARE(at(image, 140, row), kWhite);
}

void TestChartCanvas::speedTick_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<double>("knots");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("top");
    // Column: (100 + s / 9.6) / 15; top: (6100 - 120 v) / 15, both to the nearest pixel.
    QTest::newRow("05:30:00, 12.5 kn") << 19800.0 << 12.5 << 144 << 307;
    QTest::newRow("12:00:00, 50 kn") << 43200.0 << 50.0 << 307 << 7;
    QTest::newRow("23:59:59, 0 kn") << 86399.0 << 0.0 << 607 << 407;
    QTest::newRow("00:00:01, 60 kn, cut at the top") << 1.0 << 60.0 << 7 << 0;
    QTest::newRow("1e300 kn") << 7200.0 << 1e300 << 57 << 0;
}

void TestChartCanvas::speedTick()
{
    QFETCH(double, seconds);
    QFETCH(double, knots);
    QFETCH(int, column);
    QFETCH(int, top);
    ChartCanvas canvas;
    canvas.draw(Chart::speedTick(seconds, knots));
    const QImage &image = canvas.image();

    QCOMPARE(at(image, column, top), kSpeed);
    QCOMPARE(at(image, column, 407), kSpeed);
    QCOMPARE(at(image, column, 408), kWhite);
    if (top > 0)
        QCOMPARE(at(image, column, top - 1), kWhite);
    // A 1-twip box still covers exactly one pixel column.
    QCOMPARE(pixelsOf(image, image.rect(), kSpeed), 407 - top + 1);
}

void TestChartCanvas::overflowCountOnlyAbove150_data()
{
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("printed");
    QTest::newRow("150 at 03h") << 3 << 150 << false;
    QTest::newRow("151 at 03h") << 3 << 151 << true;
    QTest::newRow("1234 at 23h") << 23 << 1234 << true;
}

void TestChartCanvas::overflowCountOnlyAbove150()
{
    QFETCH(int, hour);
    QFETCH(int, count);
    QFETCH(bool, printed);
    std::array<int, 25> counts{};
    counts[hour] = count;
    ChartCanvas canvas;
    for (const ChartPrimitive &p : Chart::overflowCounts(counts))
        canvas.draw(p);
    const QImage &image = canvas.image();
    const QRect label(qRound((140 + 375.0 * hour) / 15), 3, 24, 15);
    QCOMPARE(pixelsOf(image, label, Qt::black) > 0, printed);
    QCOMPARE(pixelsOf(image, image.rect(), Qt::black), pixelsOf(image, label, Qt::black));
}

void TestChartCanvas::textTopLeftAtPosition()
{
    ChartCanvas canvas;
    canvas.draw({ChartPrimitive::Kind::Text, {0, 0, 0}, 1500, 1500, 1500, 1500, QStringLiteral("WH")});
    const QImage &image = canvas.image();
    int minX = image.width(), minY = image.height(), maxY = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == Qt::black) {
                minX = std::min(minX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
    // The text cell starts at (100, 100); the ink lies inside a 9 pt (12 px) line.
    QVERIFY2(minX >= 100 && minX <= 102, qPrintable(QString::number(minX)));
    QVERIFY2(minY >= 100 && maxY < 100 + 16, qPrintable(QStringLiteral("%1-%2").arg(minY).arg(maxY)));
    QVERIFY(maxY - minY >= 6);
    // Only ink and white: no antialiased shades, no opaque background.
    QCOMPARE(pixelsOf(image, image.rect(), Qt::black) + pixelsOf(image, image.rect(), kWhite),
             image.width() * image.height());
}

void TestChartCanvas::hugeCoordinates()
{
    using Kind = ChartPrimitive::Kind;
    const double far = 1e9;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    ChartCanvas canvas;
    canvas.draw(primitive(Kind::Box, -far, -far, far, far));
    canvas.draw({Kind::Text, {0, 0, 0}, far, far, far, far, QStringLiteral("151")});
    canvas.draw(primitive(Kind::Line, nan, 0, 100, 100));
    canvas.draw(primitive(Kind::FilledBox, -far, nan, far, far));
    QVERIFY(allWhite(canvas.image()));

    // A slanted line towards distant points keeps its course across the surface.
    canvas.draw(primitive(Kind::Line, -far, -far, far, far));
    QCOMPARE(at(canvas.image(), 200, 200), QColor(0, 0, 255));
    QCOMPARE(at(canvas.image(), 201, 200), kWhite);

    canvas.draw(primitive(Kind::FilledBox, -far, -far, far, far));
    QCOMPARE(pixelsOf(canvas.image(), canvas.image().rect(), QColor(0, 0, 255)), 665 * 449);
}

void TestChartCanvas::boxCornersInEitherOrder()
{
    using Kind = ChartPrimitive::Kind;
    for (Kind kind : {Kind::Box, Kind::FilledBox}) {
        ChartCanvas a, b;
        a.draw(primitive(kind, 300, 300, 3000, 1500));
        b.draw(primitive(kind, 3000, 1500, 300, 300));
        QCOMPARE(a.image(), b.image());
        QCOMPARE(at(a.image(), 20, 20), QColor(0, 0, 255));
        QCOMPARE(at(a.image(), 200, 100), QColor(0, 0, 255));
    }
}

void TestChartCanvas::clearLeavesWhite()
{
    ChartCanvas canvas;
    for (const ChartPrimitive &p : Chart::frame())
        canvas.draw(p);
    canvas.draw(Chart::countBar(3, 40));
    QVERIFY(!allWhite(canvas.image()));
    canvas.clear();
    QVERIFY(allWhite(canvas.image()));
    QCOMPARE(canvas.image().size(), QSize(665, 449));
}

void TestChartCanvas::highDpiKeepsPixelsCrisp()
{
    ChartCanvas canvas(2.0);
    QCOMPARE(canvas.image().size(), QSize(1330, 898));
    QCOMPARE(canvas.image().deviceIndependentSize(), QSizeF(665, 449));
    for (const ChartPrimitive &p : Chart::frame())
        canvas.draw(p);
    canvas.draw(Chart::countBar(5, 1));
    const QImage &image = canvas.image();
    // The zero line (row 407) covers device rows 814 and 815, in full colour.
    QCOMPARE(at(image, 600, 813), kWhite);
    QCOMPARE(at(image, 600, 814), kGrid);
    QCOMPARE(at(image, 600, 815), kGrid);
    QCOMPARE(at(image, 600, 816), kWhite);
    // The bar's left edge (column 132) covers device columns 264 and 265.
    QCOMPARE(at(image, 263, 810), kWhite);
    QCOMPARE(at(image, 264, 810), kCount);
    QCOMPARE(at(image, 265, 810), kCount);
    QCOMPARE(at(image, 266, 810), kWhite);
    // Text keeps its size in logical pixels: the zero count label is about 2 x 9 px high.
    int top = image.height(), bottom = -1;
    for (int y = 790; y < 840; ++y)
        for (int x = 1226; x < 1280; ++x)
            if (image.pixelColor(x, y) == kCount) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    QVERIFY2(bottom - top >= 12 && bottom - top <= 24, qPrintable(QStringLiteral("%1-%2").arg(top).arg(bottom)));
}

QTEST_MAIN(TestChartCanvas)
#include "test_chartcanvas.moc"

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

int pixelsOf(const QImage &image, const QRect &area, const QColor &color)
{
    int n = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += image.pixelColor(x, y) == color;
    return n;
}

} // namespace

class TestChartCanvas : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Platform::installFontSubstitutions(); }

    void gridLinesAndLabels();
    void countBarOutline_data();
    void countBarOutline();
    void speedTick_data();
    void speedTick();
    void overflowCountOnlyAbove150_data();
    void overflowCountOnlyAbove150();
    void hugeCoordinates();
    void highDpiKeepsPixelsCrisp();
};

void TestChartCanvas::gridLinesAndLabels()
{
    ChartCanvas canvas;
    for (const ChartPrimitive &p : Chart::frame())
        canvas.draw(p);
    for (const ChartPrimitive &p : Chart::hourLabels())
        canvas.draw(p);
    const QImage &image = canvas.image();
    // 6100 - 600 i twips to the nearest pixel; each line from x 7 to 607.
    for (int row : {407, 367, 207, 7}) {
        QCOMPARE(image.pixelColor(7, row), kGrid);
        QCOMPARE(image.pixelColor(607, row), kGrid);
        QCOMPARE(image.pixelColor(6, row), kWhite);
        QCOMPARE(image.pixelColor(608, row), kWhite);
        QCOMPARE(image.pixelColor(300, row - 1), kWhite);
        // The labels' tops lie 70 twips above their line: counts from x 613, speeds from 640.
        QVERIFY(pixelsOf(image, QRect(613, row - 5, 26, 14), kCount) > 0);
        QVERIFY(pixelsOf(image, QRect(640, row - 5, 24, 14), kSpeed) > 0);
    }
    for (int h : {0, 1, 23})
        QVERIFY(pixelsOf(image, QRect(qRound((200 + 375.0 * h) / 15), 413, 18, 14), kSpeed) > 0);

    // Text stands with its top-left corner at the position, aliased, on a transparent background.
    canvas.clear();
    canvas.draw({ChartPrimitive::Kind::Text, {0, 0, 0}, 1500, 1500, 0, 0, QStringLiteral("WH")});
    const QRect ink = QRect(100, 100, 30, 16);
    QVERIFY(pixelsOf(canvas.image(), ink, Qt::black) > 20);
    QVERIFY(pixelsOf(canvas.image(), QRect(100, 100, 3, 16), Qt::black) > 0);
    QCOMPARE(pixelsOf(canvas.image(), canvas.image().rect(), Qt::black) + pixelsOf(canvas.image(), canvas.image().rect(), kWhite),
             665 * 449);
    QCOMPARE(pixelsOf(canvas.image(), ink, Qt::black), pixelsOf(canvas.image(), canvas.image().rect(), Qt::black));
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
    for (const QPoint &p : {outline.topLeft(), outline.bottomRight(), QPoint(outline.center().x(), outline.top())})
        QCOMPARE(image.pixelColor(p), kCount);
    const QRect inside = outline.adjusted(1, 1, -1, -1);
    QCOMPARE(pixelsOf(image, inside, kWhite), inside.width() * inside.height());
    QCOMPARE(pixelsOf(image, image.rect(), kCount), outline.width() * outline.height() - inside.width() * inside.height());

    // Every further report adds its own top edge over the same sides.
    canvas.draw(Chart::countBar(hour, count + 1));
    const int newTop = qRound((6100 - 40.0 * (count + 1)) / 15);
    QCOMPARE(canvas.image().pixelColor(outline.center().x(), newTop), kCount);
    QCOMPARE(canvas.image().pixelColor(outline.center().x(), outline.top()), kCount);
}

void TestChartCanvas::speedTick_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<double>("knots");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("top");
    // Column (100 + s / 9.6) / 15 and top (6100 - 120 v) / 15, to the nearest pixel.
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
    QCOMPARE(image.pixelColor(column, top), kSpeed);
    QCOMPARE(image.pixelColor(column, 407), kSpeed);
    if (top > 0)
        QCOMPARE(image.pixelColor(column, top - 1), kWhite);
    // One pixel column, zero line included.
    QCOMPARE(pixelsOf(image, image.rect(), kSpeed), 407 - top + 1);
}

void TestChartCanvas::overflowCountOnlyAbove150_data()
{
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("count");
    QTest::newRow("150 at 03h") << 3 << 150;
    QTest::newRow("151 at 03h") << 3 << 151;
    QTest::newRow("1234 at 23h") << 23 << 1234;
}

void TestChartCanvas::overflowCountOnlyAbove150()
{
    QFETCH(int, hour);
    QFETCH(int, count);
    std::array<int, 25> counts{};
    counts[hour] = count;
    ChartCanvas canvas;
    for (const ChartPrimitive &p : Chart::overflowCounts(counts))
        canvas.draw(p);
    const QImage &image = canvas.image();
    const QRect label(qRound((140 + 375.0 * hour) / 15), 3, 24, 15);
    QCOMPARE(pixelsOf(image, label, Qt::black) > 0, count > 150);
    QCOMPARE(pixelsOf(image, image.rect(), Qt::black), pixelsOf(image, label, Qt::black));
}

void TestChartCanvas::hugeCoordinates()
{
    using Kind = ChartPrimitive::Kind;
    const double far = 1e9;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const QColor blue(0, 0, 255);
    ChartCanvas canvas;
    canvas.draw({Kind::Box, {0, 0, 255}, -far, -far, far, far, {}});
    canvas.draw({Kind::Text, {0, 0, 255}, far, far, far, far, QStringLiteral("151")});
    canvas.draw({Kind::Line, {0, 0, 255}, nan, 0, 100, 100, {}});
    QCOMPARE(pixelsOf(canvas.image(), canvas.image().rect(), kWhite), 665 * 449);

    // A slanted line towards distant points keeps its course across the surface.
    canvas.draw({Kind::Line, {0, 0, 255}, -far, -far, far, far, {}});
    QCOMPARE(canvas.image().pixelColor(200, 200), blue);
    QCOMPARE(canvas.image().pixelColor(201, 200), kWhite);
    canvas.draw({Kind::FilledBox, {0, 0, 255}, far, far, -far, -far, {}});
    QCOMPARE(pixelsOf(canvas.image(), canvas.image().rect(), blue), 665 * 449);
}

void TestChartCanvas::highDpiKeepsPixelsCrisp()
{
    ChartCanvas canvas(2.0);
    QCOMPARE(canvas.image().size(), QSize(1330, 898));
    for (const ChartPrimitive &p : Chart::frame())
        canvas.draw(p);
    canvas.draw(Chart::countBar(5, 1));
    const QImage &image = canvas.image();
    // Logical row 407 (the zero line) and column 132 (the bar's left edge), each two device pixels.
    QCOMPARE(image.pixelColor(600, 813), kWhite);
    QCOMPARE(image.pixelColor(600, 814), kGrid);
    QCOMPARE(image.pixelColor(600, 815), kGrid);
    QCOMPARE(image.pixelColor(600, 816), kWhite);
    QCOMPARE(image.pixelColor(263, 810), kWhite);
    QCOMPARE(image.pixelColor(264, 810), kCount);
    QCOMPARE(image.pixelColor(265, 810), kCount);
}

QTEST_MAIN(TestChartCanvas)
#include "test_chartcanvas.moc"

// The passages window on its own: the table sorts every column by value and
// filters by area, the chart paints each area's bars, and the exports write
// what the window shows.
#include "engine/passageformat.h"
#include "map_window/render.h"
#include "passages_window/passagechart.h"
#include "passages_window/passagemodel.h"
#include "passages_window/passageswindow.h"

#include <QComboBox>
#include <QFile>
#include <QPainter>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using Module1::Passage;

namespace {

Passage passage(int area, const char *mmsi, int day, int seconds, int duration, std::optional<double> speed)
{
    Passage p;
    p.area = area;
    p.mmsi = mmsi;
    p.entryDate = p.exitDate = QDate(2011, 4, day);
    p.entrySeconds = seconds;
    p.exitSeconds = seconds < 0 ? -1 : seconds + duration;
    p.entryFile = p.exitFile = p.entryDate.toString("yyyyMMdd") + "_AIS_FMT.log";
    p.fixes = 2;
    p.speedMin = p.speedMedian = p.speedMax = speed;
    return p;
}

std::vector<Passage> sample()
{
    return {passage(0, "431000003", 1, 3600, 900, 12), passage(2, "431000001", 1, 7200, 60, 9.5),
            passage(0, "431000002", 3, 100, 4000, std::nullopt), passage(1, "431000004", 3, -1, 0, 2)};
}

QStringList column(const QAbstractItemModel &m, int c)
{
    QStringList out;
    for (int r = 0; r < m.rowCount(); ++r)
        out << m.index(r, c).data().toString();
    return out;
}

} // namespace

class TestPassagesWindow : public QObject
{
    Q_OBJECT
private slots:
    void tableSortsByValueAndFiltersByArea()
    {
        PassagesWindow w;
        w.setPassages(sample(), false, "Passages", {});
        PassageProxy &proxy = *w.proxy();
        const int duration = int(Module1::passageFields().indexOf("duration"));
        const int speed = int(Module1::passageFields().indexOf("speedMax"));
        const int entry = int(Module1::passageFields().indexOf("entry"));
        // Numbers as numbers (60 before 900), a missing value first.
        proxy.sort(duration, Qt::AscendingOrder);
        QCOMPARE(column(proxy, duration), QStringList({"", "60", "900", "4000"}));
        proxy.sort(speed, Qt::DescendingOrder);
        QCOMPARE(column(proxy, speed), QStringList({"12", "9.5", "2", ""}));
        proxy.sort(entry, Qt::AscendingOrder);
        QCOMPARE(column(proxy, 1), QStringList({"431000004", "431000003", "431000001", "431000002"}));

        w.areaFilter()->setCurrentIndex(1); // A
        QCOMPARE(column(proxy, 1), QStringList({"431000003", "431000002"}));
        // "Export CSV" writes the rows shown, in their order.
        std::vector<Passage> shown{sample()[0], sample()[2]};
        QCOMPARE(w.csv(), Module1::formatPassages(shown, Module1::PassageFormat::Csv, std::nullopt));
        QTemporaryDir dir;
        QVERIFY(w.exportCsv(dir.filePath("p.csv")));
        QFile f(dir.filePath("p.csv"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), w.csv());
    }

    void chartPaintsEachAreasBars()
    {
        // Per day, the empty 2nd included; per hour, a stand-in time left out.
        const PassageChartData days = passageChart(sample(), false);
        QCOMPARE(days.labels, QStringList({"04-01", "04-02", "04-03"}));
        QCOMPARE(days.counts[1], (std::array<int, 3>{0, 0, 0}));
        const PassageChartData hours = passageChart(sample(), true);
        QCOMPARE(hours.counts[0][0], 1);
        QCOMPARE(hours.counts[1][0], 1);
        QCOMPARE(hours.counts[2][2], 1);
        QCOMPARE(hours.undated, 1);

        // The plot spans 44..590 across and 24..270 down: day 1's bar holds A
        // under C, day 3's A under B, each bucket a third of the width.
        const QImage image = passageChartImage(QSize(600, 300), days);
        const double third = (600 - 44 - 10) / 3.0;
        const auto at = [&](int bucket, double fraction) {
            return image.pixelColor(int(44 + third * (bucket + 0.5)), int(270 - 246 * fraction));
        };
        QCOMPARE(at(0, 0.25), Map::areaColors[0]);
        QCOMPARE(at(0, 0.75), Map::areaColors[2]);
        QCOMPARE(at(1, 0.25), QColor(Qt::white));
        QCOMPARE(at(2, 0.75), Map::areaColors[1]);

        // "Save PNG" writes the same painting.
        PassagesWindow w;
        w.setPassages(sample(), false, "Passages", {});
        QTemporaryDir dir;
        QVERIFY(w.savePng(dir.filePath("c.png")));
        QCOMPARE(QImage(dir.filePath("c.png")).convertToFormat(QImage::Format_RGB32), w.chartImage());
    }
};

QTEST_MAIN(TestPassagesWindow)
#include "test_passageswindow.moc"

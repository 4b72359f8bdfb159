// bench_passages: the passages window with 100,000 passages.
//
//   bench_passages [--passages N]
//
// N passages (default 100,000) of plain data, as a year of a busy narrows
// gives, are put into the window, which is shown offscreen. Timed: filling the
// table, sorting by each column (ascending, then descending), the area filter,
// and the resident memory after all of it, against that before the window.
#include "resident.h"
#include "engine/passages.h"
#include "passages_window/passagemodel.h"
#include "passages_window/passageswindow.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QTableView>
#include <QTest>

#include <cstdio>
#include <random>

namespace {

std::vector<Module1::Passage> passages(int n)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> ship(0, 2999), second(0, 86399), stay(60, 7200), fixes(2, 40);
    std::uniform_real_distribution<double> speed(0, 20), offset(-0.02, 0.02), bearing(0, 360);
    const char sides[] = "NESW-";
    std::vector<Module1::Passage> out;
    out.reserve(std::size_t(n));
    const QDate first(2011, 1, 1);
    for (int i = 0; i < n; ++i) {
        Module1::Passage p;
        p.area = i % 3;
        p.mmsi = std::to_string(431000000 + ship(random));
        p.name = "SHIP " + p.mmsi.substr(5);
        p.entryDate = first.addDays(i * 365 / n);
        p.entrySeconds = second(random);
        const int end = p.entrySeconds + stay(random);
        p.exitDate = p.entryDate.addDays(end / 86400);
        p.exitSeconds = end % 86400;
        p.entryFile = p.entryDate.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral("_AIS_FMT.log");
        p.exitFile = p.exitDate.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral("_AIS_FMT.log");
        p.fixes = fixes(random);
        const double a = speed(random), b = speed(random);
        p.speedMin = std::min(a, b);
        p.speedMax = std::max(a, b);
        p.speedMedian = (a + b) / 2;
        p.entrySide = sides[i % 5];
        p.exitSide = sides[(i / 5) % 5];
        p.bearing = bearing(random);
        p.entry = {130.9747 + offset(random), 33.9683 + offset(random)};
        p.exit = {130.9747 + offset(random), 33.9683 + offset(random)};
        p.stopped = i % 17 == 0;
        // The fixes inside, as the window keeps them for the map.
        for (int k = 0; k < p.fixes; ++k)
            p.points.push_back({130.9747 + offset(random), 33.9683 + offset(random)});
        out.push_back(std::move(p));
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int n = 100000;
    const QStringList args = app.arguments();
    if (const qsizetype i = args.indexOf(QStringLiteral("--passages")); i > 0 && i + 1 < args.size())
        n = args[i + 1].toInt();

    const double before = residentMb();
    std::vector<Module1::Passage> data = passages(n);
    const double withData = residentMb();
    PassagesWindow window;
    window.resize(1200, 800);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    QElapsedTimer clock;
    clock.start();
    window.setPassages(std::move(data), false, QStringLiteral("Passages"), QString());
    QApplication::processEvents();
    std::printf("%d passages: filling the table and its first frame %lld ms\n", n, clock.elapsed());

    long long worst = 0;
    for (int c = 0; c < window.model()->columnCount(); ++c) {
        for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            clock.restart();
            window.table()->sortByColumn(c, order);
            window.table()->viewport()->repaint();
            const long long ms = clock.elapsed();
            worst = std::max(worst, ms);
            std::printf("  sort by %-15s %s %5lld ms\n",
                        qPrintable(window.model()->headerData(c, Qt::Horizontal).toString()),
                        order == Qt::AscendingOrder ? "up  " : "down", ms);
        }
    }
    std::printf("slowest sort with its frame: %lld ms\n", worst);
    clock.restart();
    window.areaFilter()->setCurrentIndex(3);
    window.table()->viewport()->repaint();
    std::printf("area filter C with its frame: %lld ms\n", clock.elapsed());
    std::printf("resident memory: %.1f MB before, %.1f MB with the passages' data, %.1f MB with the window\n", before,
                withData, residentMb());
    return 0;
}

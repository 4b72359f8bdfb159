// bench_coastline: the map's land drawn from the installed coastline file,
// offscreen into a window-sized image, as the map window paints it.
//
//   bench_coastline [--file PATH] [--size WxH] [--repeat N]
//
// For each scene: the first complete frame from opening the file (its pages
// may already be in the page cache; a cold disk adds their reading), then
// frames while panning and zooming with the wheel's step. Prints the worst
// and median frame, the bins' memory and the process's resident size. Frames
// are timed on the wall clock and in the thread's CPU time, which other work
// on a busy machine does not inflate.
#include "map_window/coastline.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// Resident and peak resident size in MB, from /proc.
std::pair<double, double> residentMb()
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return {0, 0};
    double rss = 0, peak = 0;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            rss = line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
        else if (line.startsWith("VmHWM:"))
            peak = line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return {rss, peak};
}

struct Scene {
    const char *name;
    Map::LatLon center;
    double pixelsPerDegree;
};

double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Time {
    double wall = 0;
    double cpu = 0;
};

Time frame(Map::Coastline &coast, QImage &image, const Map::Viewport &view)
{
    QElapsedTimer t;
    t.start();
    const double cpu = cpuMs();
    image.fill(QColor(0xa8, 0xc8, 0xe8));
    QPainter p(&image);
    coast.draw(p, view);
    p.end();
    return {t.nsecsElapsed() / 1e6, cpuMs() - cpu};
}

// Median and worst of a series, on both clocks.
struct Summary {
    double wallMedian, wallMax, cpuMedian, cpuMax;
};

Summary summarize(std::vector<Time> times)
{
    Summary s{};
    std::sort(times.begin(), times.end(), [](Time a, Time b) { return a.wall < b.wall; });
    s.wallMedian = times[times.size() / 2].wall;
    s.wallMax = times.back().wall;
    std::sort(times.begin(), times.end(), [](Time a, Time b) { return a.cpu < b.cpu; });
    s.cpuMedian = times[times.size() / 2].cpu;
    s.cpuMax = times.back().cpu;
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QString path = Map::Coastline::defaultPath();
    QSize size(1280, 800);
    int repeat = 3;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--file")
            path = args[i + 1];
        else if (args[i] == "--size")
            size = QSize(args[i + 1].section('x', 0, 0).toInt(), args[i + 1].section('x', 1, 1).toInt());
        else if (args[i] == "--repeat")
            repeat = std::max(1, args[i + 1].toInt());
    }
    if (path.isEmpty() || size.isEmpty()) {
        std::fprintf(stderr, "usage: bench_coastline [--file PATH] [--size WxH] [--repeat N]\n");
        return 2;
    }
    std::printf("coastline file %s (%.1f MB), frames of %dx%d\n", qPrintable(path), QFile(path).size() / 1e6,
                size.width(), size.height());
    const auto [rss0, peak0] = residentMb();
    std::printf("resident before opening: %.1f MB\n\n", rss0);

    const Scene scenes[] = {
        {"Kanmon strait", {33.955, 130.955}, 3000},
        {"Kanmon, 1 m a pixel", {33.958, 130.956}, 90000},
        {"Seto Sea, widest f", {34.2, 132.5}, 1900},
        {"Japan", {36.0, 136.0}, 45},
        {"World", {20.0, 0.0}, 1.5},
    };
    std::printf("ms, wall/CPU         res   first        pan median   pan worst    zoom median  zoom worst   bins MB\n");
    for (const Scene &s : scenes) {
        std::vector<Time> firsts, pans, zooms;
        qint64 bytes = 0;
        char res = 0;
        for (int r = 0; r < repeat; ++r) {
            QImage image(size, QImage::Format_ARGB32_Premultiplied);
            Map::Viewport view;
            view.size = size;
            view.center = s.center;
            view.pixelsPerDegree = s.pixelsPerDegree;
            QElapsedTimer t;
            t.start();
            const double cpu = cpuMs();
            Map::Coastline coast;
            if (!coast.open(path)) {
                std::fprintf(stderr, "%s\n", qPrintable(coast.error()));
                return 1;
            }
            frame(coast, image, view);
            firsts.push_back({t.nsecsElapsed() / 1e6, cpuMs() - cpu});
            res = coast.resolutionFor(view);
            // A drag: 60 steps of 15 pixels east then back, crossing bins.
            for (int i = 0; i < 120; ++i) {
                view.panBy(QPointF(i < 60 ? -15 : 15, i < 60 ? -4 : 4));
                pans.push_back(frame(coast, image, view));
            }
            // The wheel: eight notches in at the cursor, eight out, twice.
            for (int i = 0; i < 32; ++i) {
                view.zoomAt(QPointF(size.width() * 0.4, size.height() * 0.6), (i / 8) % 2 == 0 ? 1.25 : 0.8);
                zooms.push_back(frame(coast, image, view));
            }
            bytes = std::max(bytes, coast.loadedBytes());
        }
        const Summary first = summarize(firsts), pan = summarize(pans), zoom = summarize(zooms);
        std::printf("%-20.20s %3c %5.1f/%-5.1f  %5.1f/%-5.1f  %5.1f/%-5.1f  %5.1f/%-5.1f  %5.1f/%-5.1f  %6.1f\n", s.name,
                    res, first.wallMedian, first.cpuMedian, pan.wallMedian, pan.cpuMedian, pan.wallMax, pan.cpuMax,
                    zoom.wallMedian, zoom.cpuMedian, zoom.wallMax, zoom.cpuMax, bytes / 1e6);
    }
    const auto [rss, peak] = residentMb();
    std::printf("\nresident after all scenes: %.1f MB, peak %.1f MB (%.1f MB before opening)\n", rss, peak, rss0);
    return 0;
}

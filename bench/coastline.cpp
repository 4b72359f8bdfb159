// bench_coastline: the map's land drawn from the installed coastline file,
// offscreen into a window-sized image, as the map window paints it.
//
//   bench_coastline [--file PATH] [--size WxH] [--repeat N]
//
// For each scene: the first complete frame from opening the file (its pages
// may already be in the page cache; a cold disk adds their reading), then
// frames while panning and zooming with the wheel's step. Prints the worst
// and median frame, the bins' memory and the process's resident size.
#include "map_window/coastline.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

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

double frame(Map::Coastline &coast, QImage &image, const Map::Viewport &view)
{
    QElapsedTimer t;
    t.start();
    image.fill(QColor(0xa8, 0xc8, 0xe8));
    QPainter p(&image);
    coast.draw(p, view);
    p.end();
    return t.nsecsElapsed() / 1e6;
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
        {"Kanmon strait (harbour)", {33.955, 130.955}, 3000},
        {"Seto Inland Sea (full, widest)", {34.2, 132.5}, 1900},
        {"Japan", {36.0, 136.0}, 45},
        {"World", {20.0, 0.0}, 1.5},
    };
    std::printf("%-32s %5s %9s %10s %10s %10s %9s\n", "scene", "res", "first ms", "pan max", "pan med", "zoom max",
                "bins MB");
    for (const Scene &s : scenes) {
        std::vector<double> firsts, pans, zooms;
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
            Map::Coastline coast;
            if (!coast.open(path)) {
                std::fprintf(stderr, "%s\n", qPrintable(coast.error()));
                return 1;
            }
            frame(coast, image, view);
            firsts.push_back(t.nsecsElapsed() / 1e6);
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
        std::sort(pans.begin(), pans.end());
        std::printf("%-32s %5c %9.1f %10.1f %10.1f %10.1f %9.1f\n", s.name, res,
                    *std::min_element(firsts.begin(), firsts.end()), pans.back(), pans[pans.size() / 2],
                    *std::max_element(zooms.begin(), zooms.end()), bytes / 1e6);
    }
    const auto [rss, peak] = residentMb();
    std::printf("\nresident after all scenes: %.1f MB, peak %.1f MB (%.1f MB before opening)\n", rss, peak, rss0);
    return 0;
}

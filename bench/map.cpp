// bench_map: the map window's speed and memory.
//
//   bench_map [--coastline FILE] [--frames N]
//
// 1. A day log with 100,000 reports of one ship is written to a temporary
//    folder and read as the KML view reads it (the read is timed alone); then
//    what Ctrl+M does after the read, up to the first complete frame: the map
//    track made, the window built, shown and painted.
// 2. Frames of a 1,000,000-point track at 1200 x 900: the fitted view, zooms
//    at a point (the first frame at each scale thins the track once) and pans.
// 3. Resident memory with both tracks shown.
// 4. Files of many small lines: read, added to the window one by one, painted.
// The coastline is the installed one (Coastline::defaultPath) unless --coastline
// names another; without one the figures are for the map without land.
#include "resident.h"
#include "engine/export.h"
#include "engine/module1.h"
#include "engine/plainhost.h"
#include "map_window/coastline.h"
#include "map_window/mapwindow.h"
#include "map_window/trackfile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include <sys/resource.h>
#include <time.h>

namespace {

double peakMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// A ship's day through the strait: steaming legs, turns, and hours at anchor
// where the position only jitters, as the receiver logs them.
std::vector<Map::LatLon> voyage(std::size_t n)
{
    std::mt19937 random(42);
    std::normal_distribution<double> jitter(0, 0.00002);
    std::vector<Map::LatLon> points;
    points.reserve(n);
    Map::LatLon at{33.985, 130.800};
    double heading = 1.9;
    for (std::size_t i = 0; i < n; ++i) {
        const double phase = double(i) / double(n);
        const bool anchored = (phase > 0.3 && phase < 0.45) || phase > 0.85;
        if (!anchored) {
            heading += std::sin(phase * 40) * 0.0004;
            const double step = 0.3 / double(n);
            at.lat += std::cos(heading) * step;
            at.lon += std::sin(heading) * step * 1.2;
        }
        points.push_back({at.lat + jitter(random), at.lon + jitter(random)});
    }
    return points;
}

QByteArray dayLog(const std::vector<Map::LatLon> &points)
{
    QByteArray log;
    log.reserve(qsizetype(points.size()) * 150);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const int second = int(i * 86400 / points.size());
        log += QStringLiteral("-------------------- %1:%2:%3\r\n")
                   .arg(second / 3600, 2, 10, QLatin1Char('0'))
                   .arg(second / 60 % 60, 2, 10, QLatin1Char('0'))
                   .arg(second % 60, 2, 10, QLatin1Char('0'))
                   .toLatin1();
        log += "MMSI NUMBER         = 431000001\r\n";
        log += "LONGITUDE           = " + QByteArray::number(points[i].lon, 'f', 6) + "\r\n";
        log += "LATITUDE            = " + QByteArray::number(points[i].lat, 'f', 6) + "\r\n";
        log += "SPEED OVER GROUND   = " + QByteArray::number(double(i % 230) / 10, 'f', 1) + " [knots]\r\n";
    }
    return log;
}

// The thread's own CPU time: on a shared machine the wall clock also counts
// other processes' turns.
double cpuMilliseconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double milliseconds(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QString coastline = Map::Coastline::defaultPath();
    int frames = 20;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--coastline"))
            coastline = args[i + 1];
        else if (args[i] == QLatin1String("--frames"))
            frames = std::max(1, args[i + 1].toInt());
    }
    std::printf("coastline: %s\n", coastline.isEmpty() ? "not installed (map without land)" : qPrintable(coastline));
    std::printf("resident at start: %.1f MB\n", residentMb());

    // 1. Ctrl+M with a day of 100,000 reports.
    QTemporaryDir dir;
    {
        QFile log(dir.filePath(QStringLiteral("20110407_AIS_FMT.log")));
        if (!log.open(QIODevice::WriteOnly) || log.write(dayLog(voyage(100000))) < 0)
            return 1;
    }
    Module1::PlainHost host;
    Module1::setHost(&host);
    Module1::logFolder = dir.path() + QLatin1Char('/');
    QElapsedTimer clock;
    clock.start();
    const Module1::Track day = Module1::readTrack(QStringLiteral("20110407_AIS_FMT.log"), QStringLiteral("431000001"), {});
    const double readMs = milliseconds(clock);
    Module1::setHost(nullptr);

    clock.restart();
    const double cpuBefore = cpuMilliseconds();
    auto *window = new Map::MapWindow;
    if (!coastline.isEmpty() && !window->openCoastline(coastline))
        std::printf("coastline not opened: %s\n", qPrintable(window->scene().coastline->error()));
    window->canvas()->setFixedSize(1200, 900);
    window->addTrack(Map::fromDayTrack(day));
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        return 1;
    window->canvas()->repaint();
    const double firstFrameMs = milliseconds(clock);
    const double firstFrameCpu = cpuMilliseconds() - cpuBefore;
    std::printf("day track of %zu points: read %.1f ms; Ctrl+M after the read to the first complete frame %.1f ms "
                "(CPU %.1f ms)\n", day.points.size(), readMs, firstFrameMs, firstFrameCpu);

    std::printf("map window with the day track: resident %.1f MB, coastline bins loaded %.1f MB\n", residentMb(),
                double(window->scene().coastline->loadedBytes()) / (1024.0 * 1024.0));

    // 2. Frames of a million points, painted as the canvas paints them.
    std::vector<Map::LatLon> million = voyage(1000000);
    Map::Track big;
    big.name = QStringLiteral("1,000,000 points");
    big.reserve(million.size());
    for (std::size_t i = 0; i < million.size(); ++i)
        big.append(million[i], double(i % 230) / 10, u"12:00:00");
    million = {};
    Map::MapScene scene;
    scene.coastline = window->scene().coastline;
    scene.tracks.push_back(std::make_shared<const Map::Track>(std::move(big)));
    QImage frame(1200, 900, QImage::Format_RGB32);
    Map::Viewport view = Map::fitBox(Map::sceneBounds(scene), frame.size(), 40);
    std::vector<double> zoomWall, panWall;
    auto paint = [&](std::vector<double> *wall) {
        QElapsedTimer t;
        t.start();
        const double cpu = cpuMilliseconds();
        QPainter painter(&frame);
        Map::renderMap(painter, view, scene);
        painter.end();
        if (wall)
            wall->push_back(milliseconds(t));
        return cpuMilliseconds() - cpu;
    };
    std::vector<double> zoomFirst, panFrames;
    const double fitted = paint(nullptr);
    // Zooming in on the first anchorage, where a hundred thousand reports
    // jitter within a few metres: the densest part of the track.
    const QPointF anchor = view.toScreen(scene.tracks[0]->position(380000));
    for (int z = 0; z < 8; ++z) {
        view.zoomAt(anchor, 2.0);
        zoomFirst.push_back(paint(&zoomWall));
        double worst = 0;
        for (int f = 0; f < frames; ++f) {
            view.panBy({f % 2 ? 37.0 : -35.0, f % 3 ? 11.0 : -13.0});
            panFrames.push_back(paint(&panWall));
            worst = std::max(worst, panFrames.back());
        }
        std::printf("  %.0f pixels per degree: first frame %.1f ms, worst pan frame %.1f ms (CPU)\n",
                    view.pixelsPerDegree, zoomFirst.back(), worst);
    }
    for (int z = 0; z < 8; ++z) {
        view.zoomAt(QPointF(600, 450), 0.5);
        zoomFirst.push_back(paint(&zoomWall)); // thinned levels kept from the way in
    }
    for (auto *v : {&zoomFirst, &panFrames, &zoomWall, &panWall})
        std::sort(v->begin(), v->end());
    std::printf("1,000,000 points at 1200 x 900, CPU time of a frame: fitted view %.1f ms; zoom median %.1f ms, "
                "worst %.1f ms; pan median %.1f ms, worst %.1f ms (%zu frames)\n",
                fitted, zoomFirst[zoomFirst.size() / 2], zoomFirst.back(), panFrames[panFrames.size() / 2],
                panFrames.back(), panFrames.size());
    std::printf("  wall clock (counts other processes on a busy machine): zoom median %.1f ms, pan median %.1f ms\n",
                zoomWall[zoomWall.size() / 2], panWall[panWall.size() / 2]);

    // 3. Memory with both tracks shown.
    window->addTrack(scene.tracks[0]);
    window->canvas()->repaint();
    std::printf("map window with 100,000 + 1,000,000 points: resident %.1f MB, peak %.1f MB, track data %.1f MB, "
                "coastline bins loaded %.1f MB\n",
                residentMb(), peakMb(),
                double(window->track(0).memoryBytes() + window->track(1).memoryBytes()) / (1024.0 * 1024.0),
                double(window->scene().coastline->loadedBytes()) / (1024.0 * 1024.0));
    delete window;

    // 4. Files of many small lines: 150,000 one-point lines read, added to a
    //    window one by one and painted; 60,000 lines whose ends are marked by
    //    as many loose points, read.
    {
        QByteArray gpx = "<gpx><trk>";
        QByteArray kml = "<kml>";
        for (int k = 0; k < 150000; ++k)
            gpx += "<trkseg><trkpt lat=\"" + QByteArray::number(33 + k * 1e-5) + "\" lon=\"130.9\"/></trkseg>";
        for (int k = 0; k < 60000; ++k) {
            const QByteArray end = QByteArray::number(130 + k * 1e-5, 'f', 5) + ",34";
            kml += "<Placemark><LineString><coordinates>130,33 " + end + "</coordinates></LineString></Placemark>"
                   "<Placemark><Point><coordinates>" + end + "</coordinates></Point></Placemark>";
        }
        QFile g(dir.filePath(QStringLiteral("lines.gpx"))), k(dir.filePath(QStringLiteral("ends.kml")));
        if (!g.open(QIODevice::WriteOnly) || g.write(gpx + "</trk></gpx>") < 0 || !k.open(QIODevice::WriteOnly) ||
            k.write(kml + "</kml>") < 0)
            return 1;
        g.close();
        k.close();
        clock.restart();
        Map::TrackFile lines = Map::readTrackFile(g.fileName());
        const double linesRead = milliseconds(clock);
        clock.restart();
        auto *many = new Map::MapWindow;
        many->canvas()->setFixedSize(1200, 900);
        for (Map::Track &t : lines.tracks)
            many->addTrack(std::move(t));
        many->show();
        if (!QTest::qWaitForWindowExposed(many))
            return 1;
        many->canvas()->repaint();
        const double linesShown = milliseconds(clock);
        delete many;
        clock.restart();
        const Map::TrackFile ends = Map::readTrackFile(k.fileName());
        std::printf("150,000 one-point lines: read %.0f ms, added one by one and painted %.0f ms; 60,000 lines and "
                    "60,000 points on their ends: read %.0f ms (%zu tracks)\n",
                    linesRead, linesShown, milliseconds(clock), ends.tracks.size());
    }
    return 0;
}

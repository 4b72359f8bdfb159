#include "mapcommand.h"

#include "engine/export.h"
#include "engine/numbers.h"
#include "map_window/coastline.h"
#include "map_window/render.h"
#include "map_window/trackfile.h"
#include "platform/files.h"

#include <QBuffer>
#include <QRegularExpression>

#include <cstdio>
#include <memory>

namespace {

constexpr QSize kDefaultSize(1200, 900);
constexpr int kMinSide = 64;
constexpr int kMaxSide = 10000;

void complain(const QString &what)
{
    std::fprintf(stderr, "velkais-log: %s\n", what.toUtf8().constData());
}

} // namespace

int mapCommand(const MapRun &run)
{
    QSize size = kDefaultSize;
    if (!run.size.isEmpty()) {
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$")).match(run.size);
        if (!m.hasMatch() || m.captured(1).toInt() < kMinSide || m.captured(2).toInt() < kMinSide ||
            m.captured(1).toInt() > kMaxSide || m.captured(2).toInt() > kMaxSide) {
            complain(QStringLiteral("--size takes WIDTHxHEIGHT, each from %1 to %2 pixels").arg(kMinSide).arg(kMaxSide));
            return 2;
        }
        size = QSize(m.captured(1).toInt(), m.captured(2).toInt());
    }

    Map::MapScene scene;
    for (qsizetype k = 0; k < run.areas.size(); ++k) {
        // The field texts by the leading-number rule, as the window reads them.
        const QStringList parts = run.areas[k].split(QLatin1Char(','));
        scene.areas[std::size_t(k)] = {true, Module1::leadingNumber(parts.value(0)),
                                       Module1::leadingNumber(parts.value(1)), Module1::leadingNumber(parts.value(2))};
    }
    // Areas not given are not drawn.
    for (qsizetype k = run.areas.size(); k < 3; ++k)
        scene.areas[std::size_t(k)].range = -1;

    if (!run.file.isEmpty()) {
        // The KML view's points: every record of the ship, whatever the areas.
        const Module1::Track day = Module1::readTrack(run.file, run.ship, run.name);
        Map::Track track = Map::fromDayTrack(day);
        if (track.isEmpty()) {
            complain(QStringLiteral("%1 has no positions of %2").arg(run.file, run.ship));
        } else {
            if (track.size() < day.points.size())
                complain(QStringLiteral("%1: %2 positions of %3 left out (not on the globe)")
                             .arg(run.file)
                             .arg(day.points.size() - track.size())
                             .arg(run.ship));
            scene.tracks.push_back(std::make_shared<const Map::Track>(std::move(track)));
        }
    }
    if (!run.track.isEmpty()) {
        Map::TrackFile read = Map::readTrackFile(run.track);
        if (!read.error.isEmpty()) {
            complain(QStringLiteral("%1: %2").arg(run.track, read.error));
            return 1;
        }
        if (read.skipped > 0)
            complain(QStringLiteral("%1: %2").arg(run.track, Map::skippedText(read.skipped)));
        for (Map::Track &t : read.tracks)
            scene.tracks.push_back(std::make_shared<const Map::Track>(std::move(t)));
    }
    // A map of the default place says nothing about the ship: with neither a
    // track nor an area there is nothing worth an image.
    if (scene.tracks.empty() && run.areas.isEmpty()) {
        complain(QStringLiteral("nothing to draw: no image written"));
        return 1;
    }

    Map::Coastline coastline;
    const QString coastPath = Map::Coastline::defaultPath();
    if (!coastPath.isEmpty() && !coastline.open(coastPath))
        complain(coastline.error());
    scene.coastline = &coastline;

    const Map::Viewport view = Map::fitScene(scene, QSizeF(size));
    const QImage image = Map::renderImage(view, scene);
    // A damaged coastline is said as a log that could not be read is: the
    // map of the rest is written, and the run exits 1.
    const bool damaged = coastline.isDamaged();
    if (damaged)
        complain(coastline.error());
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    if (run.out.isEmpty()) {
        // "--out -": standard output.
        if (std::fwrite(png.constData(), 1, size_t(png.size()), stdout) != size_t(png.size()) || std::fflush(stdout) != 0) {
            complain(QStringLiteral("cannot write the image to standard output"));
            return 1;
        }
        return damaged ? 1 : 0;
    }
    QString why;
    if (!Platform::writeFileAtomically(run.out, png, &why)) {
        complain(QStringLiteral("cannot write %1: %2").arg(run.out, why));
        return 1;
    }
    return damaged ? 1 : 0;
}

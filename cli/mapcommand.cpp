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
constexpr double kMargin = 40;

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
        if (day.points.empty())
            complain(QStringLiteral("%1 has no positions of %2").arg(run.file, run.ship));
        else
            scene.tracks.push_back(std::make_shared<const Map::Track>(Map::fromDayTrack(day)));
    }
    if (!run.track.isEmpty()) {
        Map::TrackFile read = Map::readTrackFile(run.track);
        if (!read.error.isEmpty()) {
            complain(QStringLiteral("%1: %2").arg(run.track, read.error));
            return 1;
        }
        for (Map::Track &t : read.tracks)
            scene.tracks.push_back(std::make_shared<const Map::Track>(std::move(t)));
    }

    Map::Coastline coastline;
    const QString coastPath = Map::Coastline::defaultPath();
    if (!coastPath.isEmpty() && !coastline.open(coastPath))
        complain(coastline.error());
    scene.coastline = &coastline;

    const Map::GeoBox box = Map::sceneBounds(scene);
    const Map::Viewport view =
        Map::fitBox(box.isEmpty() ? Map::GeoBox::around({33.95, 130.95}) : box, QSizeF(size), kMargin);
    const QImage image = Map::renderImage(view, scene);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    QString why;
    if (!Platform::writeFileAtomically(run.out, png, &why)) {
        complain(QStringLiteral("cannot write %1: %2").arg(run.out, why));
        return 1;
    }
    return 0;
}

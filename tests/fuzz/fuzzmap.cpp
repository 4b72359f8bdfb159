#include "fuzzmap.h"

#include "map_window/coastlinefile.h"
#include "map_window/coastlinegeometry.h"
#include "map_window/trackfile.h"

#include <QBuffer>

#include <cstdlib>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

int fuzzTrackFile(Map::TrackFormat format, const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const Map::TrackFile read = Map::readTrackData(buffer, QStringLiteral("fuzz"), format);
    // A file read has something to draw; a refused one says why and has nothing.
    check(read.error.isEmpty() != read.tracks.empty());
    for (const Map::Track &t : read.tracks) {
        check(!t.isEmpty());
        check(!t.bounds().isEmpty());
        for (const double pixelsPerDegree : {0.5, 1e3, 5e6}) {
            const auto kept = t.thinned(pixelsPerDegree);
            check(kept->size() >= 1 && kept->size() <= t.size());
            check(kept->indices.front() == 0 && kept->indices.back() == t.size() - 1);
        }
        (void)t.time(t.size() - 1);
        (void)t.status(0);
    }
    return 0;
}

int fuzzCoastlineBin(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    Coast::Bin bin;
    bin.cornerLevels = Coast::unpackCornerLevels(quint16(data[0] << 8 | data[1]));
    qsizetype decoded = 0;
    if (!Coast::decodeBin(QByteArrayView(data + 2, qsizetype(size - 2)), bin, &decoded))
        return 0;
    check(decoded <= Coast::maxBinBytes);
    std::size_t points = 0;
    for (const Coast::Segment &s : bin.segments)
        points += s.points.size();
    check(points <= Coast::maxBinPoints);
    // What the map does with a bin it decoded: rings closed along its sides.
    for (const Coast::Ring &ring : Coast::closeBin(bin))
        (void)ring.points.size();
    return 0;
}

} // namespace

int fuzzMapInput(MapInput kind, const std::uint8_t *data, std::size_t size)
{
    switch (kind) {
    case MapInput::Kml:
    case MapInput::Gpx:
    case MapInput::GeoJson: {
        const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
        return fuzzTrackFile(kind == MapInput::Kml   ? Map::TrackFormat::Kml
                             : kind == MapInput::Gpx ? Map::TrackFormat::Gpx
                                                     : Map::TrackFormat::ByContent,
                             bytes);
    }
    case MapInput::CoastlineBin:
        return fuzzCoastlineBin(data, size);
    }
    return 0;
}

#pragma once

#include "map_window/projection.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

namespace Module1 {
struct Track;
}

namespace Map {

// The points of a track kept at one zoom level, in blocks whose world bounds
// let a frame skip whatever its view does not show.
struct ThinnedTrack
{
    static constexpr std::size_t kBlock = 128;
    std::vector<std::uint32_t> indices;
    // Block k: the bounds of indices[k * kBlock - 1] to indices[(k + 1) * kBlock - 1],
    // so that it holds every segment that ends in the block.
    std::vector<QRectF> blocks;
    std::size_t size() const { return indices.size(); }
};

// One track on the map: a ship's day read from the logs, or the points and
// lines of a KML, GPX or GeoJSON file. A million points must fit in a few tens
// of megabytes, so times and statuses are not a QString per point: times live
// in one UTF-8 pool, statuses in a table of the few distinct texts.
class Track
{
public:
    static constexpr double noSpeed = std::numeric_limits<double>::quiet_NaN();

    QString name;     // shown in the legend and the hover text
    bool line = true; // false: loose points (waypoints, placemarks), not joined; set before the first append

    void reserve(std::size_t n);
    // A point off the globe (|lat| > 90, |lon| > 180, not finite) is refused.
    static bool isOnGlobe(LatLon p)
    {
        return std::isfinite(p.lat) && std::isfinite(p.lon) && std::fabs(p.lat) <= 90 && std::fabs(p.lon) <= 180;
    }
    bool append(LatLon p, double speed = noSpeed, QStringView time = {}, QStringView status = {});

    std::size_t size() const { return m_geo.size(); }
    bool isEmpty() const { return m_geo.empty(); }
    LatLon position(std::size_t i) const { return m_geo[i]; }
    QPointF world(std::size_t i) const { return m_world[i]; }
    double speed(std::size_t i) const { return m_speed[i]; }
    QString time(std::size_t i) const;
    QString status(std::size_t i) const;
    // In the track's own unwrapped longitudes: east may lie past 180 (and
    // west before -180) for a track that crosses the antimeridian.
    GeoBox bounds() const { return m_bounds; }
    // The highest speed of the track's points, NaN when none has one.
    double maxSpeed() const { return m_maxSpeed; }

    // The points worth drawing when a world unit is `pixelsPerDegree` pixels and
    // nothing smaller than `cellPixels` (up to twice that) needs to be seen: the first point, then
    // every point a cell or more (either way) from the last one kept, and the
    // last point. Cell sizes are powers of two in world units, each computed
    // once and kept, so panning costs nothing and zooming at most one pass
    // over the track.
    // The last few levels asked for are kept.
    std::shared_ptr<const ThinnedTrack> thinned(double pixelsPerDegree, double cellPixels = 1.0) const;

    // Bytes the track holds, thinned levels included (for the memory benchmark).
    std::size_t memoryBytes() const;

private:
    std::vector<LatLon> m_geo;
    std::vector<QPointF> m_world;
    std::vector<float> m_speed;
    std::vector<std::uint32_t> m_timeAt; // offset of the point's time in m_times
    QByteArray m_times;                  // NUL-terminated UTF-8 times
    std::vector<std::uint16_t> m_statusOf;
    QStringList m_statuses;              // index 0 is the empty status
    GeoBox m_bounds{90, 180, -90, -180};
    double m_maxSpeed = noSpeed;

    struct Level
    {
        int exponent; // cell side is 2^exponent world units
        std::shared_ptr<const ThinnedTrack> kept;
    };
    mutable std::vector<Level> m_levels;
};

// The thinning itself, on plain world coordinates: indices of the points kept
// when cells are `cell` world units wide.
std::vector<std::uint32_t> thinPoints(const std::vector<QPointF> &world, double cell);

// A ship's day as the engine read it (the points of the KML view, with time,
// speed and navigational status); a point's status is the last one the ship
// reported up to it, as the status holds until it changes.
Track fromDayTrack(const Module1::Track &day);

} // namespace Map

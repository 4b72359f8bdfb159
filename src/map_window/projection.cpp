#include "projection.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace Map {

namespace {
constexpr double degToRad = std::numbers::pi / 180.0;
constexpr double earthRadius = 6371008.8;
constexpr double minPixelsPerDegree = 0.5;
constexpr double maxPixelsPerDegree = 5.0e6;
}

QPointF project(LatLon p)
{
    const double lat = std::clamp(p.lat, -maxLatitude, maxLatitude) * degToRad;
    return {p.lon, std::log(std::tan(std::numbers::pi / 4 + lat / 2)) / degToRad};
}

LatLon unproject(QPointF world)
{
    const double lat = (2 * std::atan(std::exp(world.y() * degToRad)) - std::numbers::pi / 2) / degToRad;
    return {lat, world.x()};
}

void GeoBox::extend(LatLon p)
{
    south = std::min(south, p.lat);
    north = std::max(north, p.lat);
    west = std::min(west, p.lon);
    east = std::max(east, p.lon);
}

GeoBox GeoBox::around(LatLon p)
{
    return {p.lat, p.lon, p.lat, p.lon};
}

QPointF Viewport::toScreen(LatLon p) const
{
    const QPointF w = project(p) - project(center);
    return {size.width() / 2 + w.x() * pixelsPerDegree, size.height() / 2 - w.y() * pixelsPerDegree};
}

LatLon Viewport::toGeo(QPointF screen) const
{
    const QPointF c = project(center);
    return unproject({c.x() + (screen.x() - size.width() / 2) / pixelsPerDegree,
                      c.y() - (screen.y() - size.height() / 2) / pixelsPerDegree});
}

GeoBox Viewport::bounds() const
{
    const LatLon topLeft = toGeo({0, 0});
    const LatLon bottomRight = toGeo({size.width(), size.height()});
    return {bottomRight.lat, topLeft.lon, topLeft.lat, bottomRight.lon};
}

double Viewport::metresPerPixel() const
{
    // One world unit is one degree of longitude, which at latitude phi is
    // cos(phi) times the equator's degree.
    const double degree = earthRadius * degToRad * std::cos(std::clamp(center.lat, -maxLatitude, maxLatitude) * degToRad);
    return degree / pixelsPerDegree;
}

void Viewport::zoomAt(QPointF anchor, double factor)
{
    const LatLon fixed = toGeo(anchor);
    pixelsPerDegree = std::clamp(pixelsPerDegree * factor, minPixelsPerDegree, maxPixelsPerDegree);
    // Move the centre so that the fixed point is under the anchor again.
    const QPointF w = project(fixed);
    center = unproject({w.x() - (anchor.x() - size.width() / 2) / pixelsPerDegree,
                        w.y() + (anchor.y() - size.height() / 2) / pixelsPerDegree});
}

void Viewport::panBy(QPointF screenDelta)
{
    center = toGeo(QPointF(size.width() / 2, size.height() / 2) - screenDelta);
}

Viewport fitBox(const GeoBox &box, QSizeF size, double margin)
{
    return fitBox(box, size, QMarginsF(margin, margin, margin, margin));
}

Viewport fitBox(const GeoBox &box, QSizeF size, const QMarginsF &margins)
{
    Viewport v;
    v.size = size;
    const QPointF a = project({box.south, box.west});
    const QPointF b = project({box.north, box.east});
    const double w = std::max(b.x() - a.x(), 0.02);
    const double h = std::max(b.y() - a.y(), 0.02);
    const double availW = std::max(size.width() - margins.left() - margins.right(), 1.0);
    const double availH = std::max(size.height() - margins.top() - margins.bottom(), 1.0);
    v.pixelsPerDegree = std::clamp(std::min(availW / w, availH / h), minPixelsPerDegree, maxPixelsPerDegree);
    // The box's middle goes to the middle of what the margins leave.
    const QPointF shift((margins.left() - margins.right()) / 2, (margins.bottom() - margins.top()) / 2);
    v.center = unproject((a + b) / 2 - shift / v.pixelsPerDegree);
    return v;
}

} // namespace Map

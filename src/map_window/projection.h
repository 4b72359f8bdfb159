#pragma once

#include <QMarginsF>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

// The map's geometry as plain data: a spherical Mercator projection and the
// view the window owns (centre and scale). Everything that draws on the map,
// coastline, areas and tracks, goes through Viewport so that the screen, the
// tests and the PNG export agree to the pixel.
namespace Map {

struct LatLon {
    double lat = 0;
    double lon = 0;
};

// Mercator stops short of the poles; latitudes beyond are clamped.
inline constexpr double maxLatitude = 85.05112877980659;

// World units: x is the longitude in degrees, y the Mercator northing scaled
// to degrees (equal to the latitude at the equator), north positive.
QPointF project(LatLon p);
LatLon unproject(QPointF world);

// A latitude/longitude box, bounds inclusive.
struct GeoBox {
    double south = 0;
    double west = 0;
    double north = 0;
    double east = 0;

    bool isEmpty() const { return north < south || east < west; }
    bool intersects(const GeoBox &o) const
    {
        return !(o.west > east || o.east < west || o.south > north || o.north < south);
    }
    void extend(LatLon p);
    static GeoBox around(LatLon p);
};

struct Viewport {
    LatLon center;
    double pixelsPerDegree = 100; // screen pixels per world unit
    QSizeF size{800, 600};

    QPointF toScreen(LatLon p) const;
    LatLon toGeo(QPointF screen) const;
    // The latitude/longitude box that the view shows.
    GeoBox bounds() const;
    // Ground metres that one pixel covers at the centre's latitude.
    double metresPerPixel() const;
    // Zooms by factor while keeping the geographic point under anchor fixed.
    void zoomAt(QPointF anchor, double factor);
    void panBy(QPointF screenDelta);
};

// The view that shows box whole inside size less margin pixels on every side.
// An empty or point box gets a view about 2 km across.
Viewport fitBox(const GeoBox &box, QSizeF size, double margin);
// The same with margins of their own on each side (a legend's room on one).
Viewport fitBox(const GeoBox &box, QSizeF size, const QMarginsF &margins);

} // namespace Map

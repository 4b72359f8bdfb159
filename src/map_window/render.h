#pragma once

#include "map_window/highlight.h"
#include "map_window/projection.h"
#include "map_window/rangelayer.h"
#include "map_window/track.h"

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QString>

#include <array>
#include <memory>
#include <vector>

class QPainter;

namespace Map {

class Coastline;

// One of the main window's three search areas: the square of +-range degrees
// around its centre that the Search tests positions against.
struct AreaSquare
{
    bool on = false; // its check box
    double latitude = 0;
    double longitude = 0;
    double range = 0;

    GeoBox box() const { return {latitude - range, longitude - range, latitude + range, longitude + range}; }
};

// Everything the map shows besides the view itself.
struct MapScene
{
    Coastline *coastline = nullptr; // none: drawn as not installed
    std::array<AreaSquare, 3> areas{};
    bool showAreas = true;
    std::vector<std::shared_ptr<const Track>> tracks;
    RangeLayer range;               // the station report's range, if any
    QRectF selection;               // a rectangle being dragged, in pixels; empty for none
    int hoverTrack = -1;            // the point under the mouse, ringed
    std::size_t hoverPoint = 0;
    Highlight highlight;            // drawn over the tracks
};

// The one painting function: the window, the tests and the PNG export all
// draw through it, so they agree to the pixel. The painter's area is view.size.
void renderMap(QPainter &painter, const Viewport &view, MapScene &scene);

// What the map says in its corner: a coastline missing or damaged, points
// beyond the projection's reach. Read after the coastline was drawn.
QStringList mapNotes(const MapScene &scene);

// The map as an image of view.size pixels: what Ctrl+S, Ctrl+C and
// `velkais-log map` save.
QImage renderImage(const Viewport &view, MapScene &scene);

// The speed scale of the points and the legend.
QColor speedColor(double knots); // NaN: no speed given
QColor trackColor(int index);     // the line of the index-th track
inline const QColor seaColor{0xcf, 0xe3, 0xf0};
inline const std::array<QColor, 3> areaColors{QColor(0xd7, 0x30, 0x1f), QColor(0x23, 0x8b, 0x45),
                                              QColor(0x6a, 0x3d, 0x9a)};

// The drawn point nearest to `screen` within `radius` pixels, topmost track
// first; track -1 when there is none.
struct PointRef
{
    int track = -1;
    std::size_t index = 0;
};
PointRef pointAt(const MapScene &scene, const Viewport &view, QPointF screen, double radius = 6);
// Time, speed, position and status of a point, one per line, for the tooltip.
QString pointText(const Track &track, std::size_t index);

// "33°58.10'N" and "130°58.48'E", with as many decimals of minutes as `step`
// (degrees between graticule lines) needs.
QString latitudeText(double latitude, double step);
QString longitudeText(double longitude, double step);

// What Home fits: the tracks, or else the areas, or else the areas' default
// place. Empty when there is nothing at all.
GeoBox sceneBounds(const MapScene &scene);

// The view of `size` that shows sceneBounds whole (the Kanmon strait when it is
// empty), with a margin and clear of the legend.
Viewport fitScene(const MapScene &scene, QSizeF size);
// Where the legend goes on an image of `size`; empty when there is none (no
// tracks, or an image too small for it).
QRectF legendRect(QSizeF size, const MapScene &scene);

} // namespace Map

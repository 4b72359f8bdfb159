#pragma once

#include "map_window/projection.h"

#include <QColor>
#include <QString>

#include <optional>
#include <vector>

class QPainter;

namespace Map {

// The station report's range on the map: the station and its outlines (the
// maximum and the 95th percentile per sector, and those of a compared period).
struct RangeOutline
{
    QString label;
    QColor colour;
    bool dashed = false;
    std::vector<LatLon> ring; // closed: the last point is the first
};

struct RangeLayer
{
    std::optional<LatLon> station;
    std::vector<RangeOutline> outlines;

    bool isEmpty() const { return !station && outlines.empty(); }
    GeoBox bounds() const;
};

// Drawn over the areas and under the tracks; a legend line per outline at the
// bottom left.
void drawRangeLayer(QPainter &painter, const Viewport &view, const RangeLayer &layer);

} // namespace Map

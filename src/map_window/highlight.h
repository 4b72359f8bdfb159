#pragma once

#include "map_window/projection.h"

#include <vector>

class QPainter;

namespace Map {

struct Viewport;

// Positions drawn over the tracks to stand out: a passage's fixes inside its
// square, and that square.
struct Highlight
{
    std::vector<LatLon> points;
    bool hasSquare = false;
    GeoBox square{};
    int area = 0; // its colour

    bool isEmpty() const { return points.empty() && !hasSquare; }
};

void drawHighlight(QPainter &painter, const Viewport &view, const Highlight &highlight);

} // namespace Map

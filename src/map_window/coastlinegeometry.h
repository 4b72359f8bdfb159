#pragma once

#include "map_window/coastlinefile.h"
#include "map_window/projection.h"

#include <QPointF>
#include <QRectF>

#include <vector>

// The coastline's geometry as free functions on plain data: which bins a view
// needs, which resolution its scale calls for, and how a bin's segments close
// into fillable rings along the bin's sides.
namespace Coast {

struct BinRef {
    int index = 0;         // in the resolution's bin table
    double lonShift = 0;   // whole turns added to the bin's longitudes (views past 180 E or W)
    bool operator==(const BinRef &) const = default;
};

// The bins of a grid of binSizeMinutes whose squares meet box, the globe
// repeated east and west as often as box reaches.
std::vector<BinRef> binsInBox(const Map::GeoBox &box, int binSizeMinutes);

// The resolution letter (c, l, i, h, f) whose simplification stays within a
// few pixels at this ground size of a pixel.
char resolutionFor(double metresPerPixel);

// Of the letters available, the one to use for wanted: itself, else the
// nearest coarser, else the nearest finer. -1 when none is available.
int pickLevel(const std::vector<char> &available, char wanted);

struct Ring {
    int level = 1; // odd: land (or an island in a lake), even: water inside land
    std::vector<Point> points;
};

// The rings that, filled with the even-odd rule, give the bin's land with its
// lakes as holes: segments crossing the bin are joined counter-clockwise along
// the sides (land on their left), passing corners as they come; a bin crossed
// by no segment is land whole when its corner level says so; segments closed
// inside the bin are rings of their own.
std::vector<Ring> closeBin(const Bin &bin);

// The part of a closed ring inside rect (Sutherland-Hodgman): empty when none
// is. Rings clipped alike keep their even-odd fill inside rect.
std::vector<QPointF> clipRing(const QPointF *points, int count, const QRectF &rect);

} // namespace Coast

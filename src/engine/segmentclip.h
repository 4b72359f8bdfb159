#pragma once

#include <QPointF>
#include <QRectF>

#include <algorithm>

namespace Geometry {

// Cuts the segment a-b to `r` (Liang-Barsky); false when none of it is inside.
// Ends inside are kept exactly, so that consecutive segments still join and a
// line towards a distant point keeps its slope.
inline bool clipSegment(const QRectF &r, QPointF &a, QPointF &b)
{
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - r.left(), r.right() - a.x(), a.y() - r.top(), r.bottom() - a.y()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    const QPointF start = a;
    if (t0 > 0)
        a = start + QPointF(dx, dy) * t0;
    if (t1 < 1)
        b = start + QPointF(dx, dy) * t1;
    return true;
}

} // namespace Geometry

#include "map_window/highlight.h"

#include "map_window/render.h"

#include <QPainter>
#include <QPainterPath>

namespace Map {

void drawHighlight(QPainter &p, const Viewport &view, const Highlight &h)
{
    if (h.isEmpty())
        return;
    p.save();
    const QColor color = areaColors[std::size_t(h.area) % areaColors.size()];
    if (h.hasSquare) {
        const QRectF r(view.toScreen({h.square.north, h.square.west}), view.toScreen({h.square.south, h.square.east}));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(color, 4, Qt::DashLine));
        p.drawRect(r.normalized());
    }
    if (!h.points.empty()) {
        QPainterPath line;
        line.moveTo(view.toScreen(h.points.front()));
        for (std::size_t i = 1; i < h.points.size(); ++i)
            line.lineTo(view.toScreen(h.points[i]));
        // A dark casing under a bright line reads on sea, land and track alike.
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Qt::black, 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(line);
        p.setPen(QPen(QColor(0xff, 0xd7, 0x00), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(line);
        p.setPen(QPen(Qt::black, 1.5));
        p.setBrush(QColor(0xff, 0xd7, 0x00));
        for (const LatLon &point : h.points)
            p.drawEllipse(view.toScreen(point), 4.5, 4.5);
    }
    p.restore();
}

} // namespace Map

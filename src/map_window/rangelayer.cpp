#include "map_window/rangelayer.h"

#include <QPainter>
#include <QPainterPath>

namespace Map {

GeoBox RangeLayer::bounds() const
{
    GeoBox box{90, 180, -90, -180};
    if (station)
        box.extend(*station);
    for (const RangeOutline &o : outlines)
        for (const LatLon &p : o.ring)
            box.extend(p);
    return box;
}

void drawRangeLayer(QPainter &painter, const Viewport &view, const RangeLayer &layer)
{
    if (layer.isEmpty())
        return;
    painter.save();
    painter.setBrush(Qt::NoBrush);
    for (const RangeOutline &o : layer.outlines) {
        if (o.ring.size() < 2)
            continue;
        QPainterPath path(view.toScreen(o.ring.front()));
        for (std::size_t i = 1; i < o.ring.size(); ++i)
            path.lineTo(view.toScreen(o.ring[i]));
        painter.setPen(QPen(o.colour, 2, o.dashed ? Qt::DashLine : Qt::SolidLine));
        painter.drawPath(path);
    }
    if (layer.station) {
        const QPointF s = view.toScreen(*layer.station);
        painter.setPen(QPen(Qt::black, 2));
        painter.setBrush(Qt::white);
        painter.drawEllipse(s, 5, 5);
        painter.drawLine(s + QPointF(0, -9), s + QPointF(0, 9));
        painter.drawLine(s + QPointF(-9, 0), s + QPointF(9, 0));
    }
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    double y = view.size.height() - 40 - 16.0 * double(layer.outlines.size());
    for (const RangeOutline &o : layer.outlines) {
        painter.setPen(QPen(o.colour, 3, o.dashed ? Qt::DashLine : Qt::SolidLine));
        painter.drawLine(QPointF(10, y + 8), QPointF(34, y + 8));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(40, y, 400, 16), Qt::AlignLeft | Qt::AlignVCenter, o.label);
        y += 16;
    }
    painter.restore();
}

} // namespace Map

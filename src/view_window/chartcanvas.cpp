#include "view_window/chartcanvas.h"

#include "engine/segmentclip.h"
#include "platform/fonts.h"

#include <QPaintEvent>

#include <algorithm>
#include <cmath>

namespace {

using Module1::ChartPrimitive;

constexpr double kTwipsPerPixel = 15;

// Coordinates are clamped this far out: beyond any surface, so clamping changes
// nothing visible, and small enough that widths computed in int cannot overflow.
constexpr double kFar = 1 << 20;

// 96 dpi in dots per metre: the surface keeps the resolution the chart was laid
// out for, so 9 pt text stays 12 px high next to a grid fixed in pixels.
constexpr int kDotsPerMetre = 3780;

QColor colorOf(const Module1::ChartColor &c)
{
    return QColor(c.red, c.green, c.blue);
}

double toPixels(double twips)
{
    return std::clamp(twips / kTwipsPerPixel, -kFar, kFar);
}

// The nearest pixel, as the Windows twip-to-pixel mapping rounds.
int toPixel(double twips)
{
    return static_cast<int>(std::floor(toPixels(twips) + 0.5));
}

bool usable(const ChartPrimitive &p)
{
    return !std::isnan(p.x1) && !std::isnan(p.y1) && !std::isnan(p.x2) && !std::isnan(p.y2);
}

QFont chartFont()
{
    QFont font = Platform::font(Platform::kArial, 9);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

// Cuts the segment to the square of +-kFar pixels, so a line towards a
// distant point keeps its slope on the surface. False when nothing is left.
bool clipToFar(QPointF &a, QPointF &b)
{
    return Geometry::clipSegment(QRectF(QPointF(-kFar, -kFar), QPointF(kFar, kFar)), a, b);
}

QPoint nearestPixel(const QPointF &p)
{
    return QPoint(static_cast<int>(std::floor(p.x() + 0.5)), static_cast<int>(std::floor(p.y() + 0.5)));
}

void paintLine(QPainter &painter, const ChartPrimitive &p)
{
    QPointF a(p.x1 / kTwipsPerPixel, p.y1 / kTwipsPerPixel);
    QPointF b(p.x2 / kTwipsPerPixel, p.y2 / kTwipsPerPixel);
    if (!clipToFar(a, b))
        return;
    const QPoint from = nearestPixel(a);
    const QPoint to = nearestPixel(b);
    const QColor color = colorOf(p.color);
    // Straight lines, the only ones the chart has, are filled spans: exact pixels,
    // both ends included, whatever the painter's pen rules.
    if (from.x() == to.x() || from.y() == to.y()) {
        painter.fillRect(QRect(from, to).normalized(), color);
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(color, 1, Qt::SolidLine, Qt::SquareCap));
    painter.drawLine(from, to);
    painter.restore();
}

void paintBox(QPainter &painter, const ChartPrimitive &p, bool filled)
{
    const int left = std::min(toPixel(p.x1), toPixel(p.x2));
    const int right = std::max(toPixel(p.x1), toPixel(p.x2));
    const int top = std::min(toPixel(p.y1), toPixel(p.y2));
    const int bottom = std::max(toPixel(p.y1), toPixel(p.y2));
    const QColor color = colorOf(p.color);
    // Both corners included, as a Windows box: a box narrower than a pixel still
    // covers one pixel column.
    if (filled) {
        painter.fillRect(QRect(QPoint(left, top), QPoint(right, bottom)), color);
        return;
    }
    painter.fillRect(QRect(QPoint(left, top), QPoint(right, top)), color);
    painter.fillRect(QRect(QPoint(left, bottom), QPoint(right, bottom)), color);
    painter.fillRect(QRect(QPoint(left, top), QPoint(left, bottom)), color);
    painter.fillRect(QRect(QPoint(right, top), QPoint(right, bottom)), color);
}

void paintText(QPainter &painter, const ChartPrimitive &p)
{
    const QPoint at(toPixel(p.x1), toPixel(p.y1));
    if (std::abs(at.x()) >= kFar || std::abs(at.y()) >= kFar || p.text.isEmpty())
        return;
    painter.setFont(chartFont());
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setPen(colorOf(p.color));
    painter.drawText(QPoint(at.x(), at.y() + painter.fontMetrics().ascent()), p.text);
}

} // namespace

void paintPrimitive(QPainter &painter, const ChartPrimitive &primitive)
{
    if (!usable(primitive))
        return;
    switch (primitive.kind) {
    case ChartPrimitive::Kind::Text: paintText(painter, primitive); break;
    case ChartPrimitive::Kind::Line: paintLine(painter, primitive); break;
    case ChartPrimitive::Kind::Box: paintBox(painter, primitive, false); break;
    case ChartPrimitive::Kind::FilledBox: paintBox(painter, primitive, true); break;
    }
}

QRect primitiveBounds(const ChartPrimitive &primitive)
{
    if (!usable(primitive))
        return {};
    const QPoint a(toPixel(primitive.x1), toPixel(primitive.y1));
    if (primitive.kind == ChartPrimitive::Kind::Text) {
        // 9 pt at 96 dpi is 12 px; no glyph of the face is wider than that.
        const int width = 12 * (static_cast<int>(primitive.text.size()) + 1);
        return QRect(a.x(), a.y(), width, 24);
    }
    const QPoint b(toPixel(primitive.x2), toPixel(primitive.y2));
    // One pixel of margin for the square cap of a slanted line.
    return QRect(a, b).normalized().adjusted(-1, -1, 1, 1);
}

ChartCanvas::ChartCanvas(qreal devicePixelRatio)
{
    setDevicePixelRatio(devicePixelRatio);
}

void ChartCanvas::setDevicePixelRatio(qreal ratio)
{
    if (m_painter.isActive())
        m_painter.end();
    if (!(ratio > 0))
        ratio = 1.0;
    const QSize size(qRound(kSize.width() * ratio), qRound(kSize.height() * ratio));
    m_image = QImage(size, QImage::Format_RGB32);
    m_image.setDevicePixelRatio(ratio);
    m_image.setDotsPerMeterX(kDotsPerMetre);
    m_image.setDotsPerMeterY(kDotsPerMetre);
    m_image.fill(Qt::white);
}

void ChartCanvas::clear()
{
    if (m_painter.isActive())
        m_painter.end();
    m_image.fill(Qt::white);
}

void ChartCanvas::draw(const Module1::ChartPrimitive &primitive)
{
    if (!m_painter.isActive())
        m_painter.begin(&m_image);
    paintPrimitive(m_painter, primitive);
}

const QImage &ChartCanvas::image() const
{
    if (m_painter.isActive())
        m_painter.end();
    return m_image;
}

ChartView::ChartView(QWidget *parent)
    : QWidget(parent)
    , m_canvas(devicePixelRatioF())
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(ChartCanvas::kSize);
}

void ChartView::clear()
{
    const qreal ratio = devicePixelRatioF();
    if (ratio != m_canvas.devicePixelRatio())
        m_canvas.setDevicePixelRatio(ratio);
    else
        m_canvas.clear();
    update();
}

void ChartView::draw(const Module1::ChartPrimitive &primitive)
{
    m_canvas.draw(primitive);
    // Only the touched pixels: during a read every report schedules a repaint,
    // and a whole-surface blit per report would cost more than the reading.
    const QRect dirty = primitiveBounds(primitive).intersected(rect());
    if (!dirty.isEmpty())
        update(dirty);
}

void ChartView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QImage &image = m_canvas.image();
    const qreal ratio = image.devicePixelRatio();
    const QRect r = event->rect();
    painter.drawImage(r, image, QRectF(r.x() * ratio, r.y() * ratio, r.width() * ratio, r.height() * ratio));
}

#pragma once

#include "engine/chart.h"

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QSize>
#include <QWidget>

// Paints one chart primitive (coordinates in twips) onto a painter whose unit is
// one pixel of 15 twips. The window, the tests and the image export all paint
// through this one function.
void paintPrimitive(QPainter &painter, const Module1::ChartPrimitive &primitive);

// The pixels a primitive can touch, in the painter's unit; for text an estimate
// with room to spare. Empty when the primitive lies wholly off any surface.
QRect primitiveBounds(const Module1::ChartPrimitive &primitive);

// The chart's backing image (665 x 449 pixels at the given device pixel ratio).
// Marks accumulate on it, so the chart survives being covered and uncovered.
class ChartCanvas
{
public:
    static constexpr QSize kSize{665, 449};

    explicit ChartCanvas(qreal devicePixelRatio = 1.0);
    void clear();
    void draw(const Module1::ChartPrimitive &primitive);
    // Ends the current burst of drawing, so the image is complete and may be copied.
    const QImage &image() const;

    qreal devicePixelRatio() const { return m_image.devicePixelRatio(); }
    // A new, cleared surface for another ratio (the window moved to another screen).
    void setDevicePixelRatio(qreal ratio);

private:
    QImage m_image;
    // Stays open across consecutive draw() calls: a read draws two marks per
    // report, and opening a painter per mark would cost more than the marks.
    // Declared after m_image so that it ends before the image goes.
    mutable QPainter m_painter;
};

// Picture1 of the view window: shows a ChartCanvas at its own size.
class ChartView : public QWidget
{
    Q_OBJECT
public:
    explicit ChartView(QWidget *parent = nullptr);
    ChartCanvas &canvas() { return m_canvas; }
    void clear();
    void draw(const Module1::ChartPrimitive &primitive);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    ChartCanvas m_canvas;
};

#pragma once

#include "engine/chart.h"

#include <QImage>
#include <QWidget>

class QPainter;

// Paints one chart primitive (coordinates in twips) onto a painter whose unit is
// one pixel of 15 twips. The window, the tests and the image export all paint
// through this one function.
void paintPrimitive(QPainter &painter, const Module1::ChartPrimitive &primitive);

// The chart's backing image (665 x 449 pixels at the given device pixel ratio).
// Marks accumulate on it, so the chart survives being covered and uncovered.
class ChartCanvas
{
public:
    explicit ChartCanvas(qreal devicePixelRatio = 1.0);
    void clear();
    void draw(const Module1::ChartPrimitive &primitive);
    const QImage &image() const { return m_image; }

private:
    QImage m_image;
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

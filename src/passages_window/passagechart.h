#pragma once

#include "engine/passages.h"

#include <QImage>
#include <QSize>
#include <QStringList>

#include <array>
#include <vector>

class QPainter;

// The bar chart of the passages window: passages per day of the period (per
// hour when the period is one day), a stacked bar per bucket with one part per
// area.
struct PassageChartData
{
    bool perHour = false;
    QStringList labels;                  // "04-07" or "13"
    std::vector<std::array<int, 3>> counts; // per bucket, per area
    int undated = 0;                     // passages without an entry time (per hour) or date
    int maximum() const;
};

// Days from the first to the last entry date, empty days included; or the
// 24 hours of the one day.
PassageChartData passageChart(const std::vector<Module1::Passage> &passages, bool perHour);

// The one painting function: the window, the tests and "Save PNG" paint
// through it. The painter's area is `size`.
void paintPassageChart(QPainter &painter, const QSize &size, const PassageChartData &chart);
QImage passageChartImage(const QSize &size, const PassageChartData &chart);

#pragma once

#include "engine/report.h"

#include <QImage>
#include <QSize>

class QPainter;

namespace ReportView {

// The one painting function of the report: the window, the tests and the PNG
// export draw through it. A date x time-of-day strip of the records per 10
// minutes with the silent periods marked under each day, and the distinct
// ships per day as bars. `compare` adds its rates beside the title.
void paintReport(QPainter &painter, const QSize &size, const Module1::StationReport &report,
                 const Module1::StationReport *compare = nullptr);
QImage reportImage(const QSize &size, const Module1::StationReport &report,
                   const Module1::StationReport *compare = nullptr);

// Where paintReport puts a day's row and a time of day, for the tests' probes.
struct StripGeometry
{
    double left = 0, top = 0, columnWidth = 0, rowHeight = 0;
    QPointF cell(int day, int tenMinutes) const
    {
        return {left + (tenMinutes + 0.5) * columnWidth, top + (day + 0.3) * rowHeight};
    }
    // The mark of a silence where nothing was heard, under a day's cells.
    QPointF mark(int day, int secondOfDay) const
    {
        return {left + secondOfDay / 600.0 * columnWidth, top + (day + 0.77) * rowHeight};
    }
};
StripGeometry stripGeometry(const QSize &size, const Module1::StationReport &report);

// The colours, for the legend and the tests.
inline const QColor kSilentColor{0xd7, 0x30, 0x1f};   // nothing heard
inline const QColor kFixedOnlyColor{0xf0, 0x9a, 0x20}; // no ships, fixed stations heard
inline const QColor kNoLogColor{0x9e, 0x9e, 0x9e};
inline const QColor kEmptyColor{0xff, 0xff, 0xff};
QColor countColor(std::uint32_t count, std::uint32_t busiest);

} // namespace ReportView

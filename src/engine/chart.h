#pragma once

#include <QString>

#include <array>
#include <vector>

namespace Module1 {

// The hourly chart as plain data: every mark is a primitive in twips (1/1440
// inch, 15 twips a pixel at 96 dpi) from the surface's top-left corner. The view
// window paints primitives onto its surface; tests and the image export use the
// same painter, so what is computed here is what the user sees.
struct ChartColor
{
    int red = 0;
    int green = 0;
    int blue = 0;
    bool operator==(const ChartColor &) const = default;
};

struct ChartPrimitive
{
    enum class Kind { Text, Line, Box, FilledBox };
    Kind kind = Kind::Line;
    ChartColor color;
    // Text: top-left corner of the text at (x1, y1). Line and boxes: two corners.
    double x1 = 0;
    double y1 = 0;
    double x2 = 0;
    double y2 = 0;
    QString text;
};

namespace Chart {

inline constexpr double kSurfaceWidth = 9975;   // twips, 665 px
inline constexpr double kSurfaceHeight = 6735;  // twips, 449 px
inline constexpr double kPlotLeft = 100;
inline constexpr double kPlotRight = 9100;
inline constexpr double kHourWidth = 375;
inline constexpr double kSecondsPerTwip = 9.6;
inline constexpr double kZeroLine = 6100;
inline constexpr double kTwipsPerReport = 40;
inline constexpr double kTwipsPerKnot = 120;
inline constexpr int kOverflowAbove = 150;

inline constexpr ChartColor kCountColor{100, 150, 100};
inline constexpr ChartColor kSpeedColor{199, 75, 75};
inline constexpr ChartColor kGridColor{180, 180, 180};
inline constexpr ChartColor kOverflowColor{0, 0, 0};

// Scale labels, grid lines and the two axis titles.
std::vector<ChartPrimitive> frame();
// "00" to "23" under the plot.
std::vector<ChartPrimitive> hourLabels();
// The outline of hour `hour`'s bar at `count` reports.
ChartPrimitive countBar(double hour, int count);
// The 1-twip speed tick of a report at `seconds` into the day.
ChartPrimitive speedTick(double seconds, double knots);
// The counts above 150 written at the top of their hour's column (hours 0-23).
std::vector<ChartPrimitive> overflowCounts(const std::array<int, 25> &hourCount);

} // namespace Chart
} // namespace Module1

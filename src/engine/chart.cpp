#include "engine/chart.h"

#include "engine/numbers.h"

namespace Module1::Chart {

namespace {

ChartPrimitive text(ChartColor color, double x, double y, const QString &s)
{
    return {ChartPrimitive::Kind::Text, color, x, y, x, y, s};
}

// Right-aligned in `width` characters; a longer number keeps its last characters.
QString rightAligned(int value, int width)
{
    QString s = QString::number(value);
    if (s.size() > width)
        return s.right(width);
    return s.rightJustified(width, QLatin1Char(' '));
}

// Coordinates are computed in double precision and handed to the surface in
// single precision; the clamp keeps a 1e308-knot speed a finite (if distant)
// point instead of an infinity the painter would choke on.
double coordinate(double twips)
{
    constexpr double limit = 1e9;
    const double v = finite(twips);
    return static_cast<float>(v > limit ? limit : (v < -limit ? -limit : v));
}

} // namespace

std::vector<ChartPrimitive> frame()
{
    std::vector<ChartPrimitive> out;
    for (int i = 0; i <= 10; ++i) {
        const double y = 6030 - 600.0 * i;
        out.push_back(text(kCountColor, 9200, y, rightAligned(15 * i, 3)));
        out.push_back(text(kSpeedColor, 9600, y, rightAligned(5 * i, 2)));
        const double gy = kZeroLine - 600.0 * i;
        out.push_back({ChartPrimitive::Kind::Line, kGridColor, kPlotLeft, gy, kPlotRight, gy, {}});
    }
    out.push_back(text(kCountColor, 5100, 6500, QStringLiteral("Number of recieved times [times]")));
    out.push_back(text(kSpeedColor, 8100, 6500, QStringLiteral("Speed [knots]")));
    return out;
}

std::vector<ChartPrimitive> hourLabels()
{
    std::vector<ChartPrimitive> out;
    for (int h = 0; h < 24; ++h)
        out.push_back(text(kSpeedColor, 200 + kHourWidth * h, 6200,
                           QStringLiteral("%1").arg(h, 2, 10, QLatin1Char('0'))));
    return out;
}

ChartPrimitive countBar(double hour, int count)
{
    return {ChartPrimitive::Kind::Box,
            kCountColor,
            coordinate(kPlotLeft + kHourWidth * hour),
            kZeroLine,
            coordinate(450 + kHourWidth * hour),
            coordinate(kZeroLine - kTwipsPerReport * count),
            {}};
}

ChartPrimitive speedTick(double seconds, double knots)
{
    return {ChartPrimitive::Kind::FilledBox,
            kSpeedColor,
            coordinate(kPlotLeft + seconds / kSecondsPerTwip),
            coordinate(kZeroLine - kTwipsPerKnot * knots),
            coordinate(101 + seconds / kSecondsPerTwip),
            kZeroLine,
            {}};
}

std::vector<ChartPrimitive> overflowCounts(const std::array<int, 25> &hourCount)
{
    std::vector<ChartPrimitive> out;
    for (int h = 0; h < 24; ++h) {
        if (hourCount[h] > kOverflowAbove)
            out.push_back(text(kOverflowColor, 140 + kHourWidth * h, 40, rightAligned(hourCount[h], 3)));
    }
    return out;
}

} // namespace Module1::Chart

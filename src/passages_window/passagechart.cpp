#include "passages_window/passagechart.h"

#include "map_window/render.h"

#include <QPainter>

#include <algorithm>
#include <map>

int PassageChartData::maximum() const
{
    int m = 0;
    for (const auto &c : counts)
        m = std::max(m, c[0] + c[1] + c[2]);
    return m;
}

PassageChartData passageChart(const std::vector<Module1::Passage> &passages, bool perHour)
{
    PassageChartData chart;
    chart.perHour = perHour;
    if (perHour) {
        chart.counts.assign(24, {0, 0, 0});
        for (int h = 0; h < 24; ++h)
            chart.labels << QStringLiteral("%1").arg(h, 2, 10, QLatin1Char('0'));
        for (const Module1::Passage &p : passages) {
            if (p.entrySeconds < 0)
                ++chart.undated;
            else
                ++chart.counts[std::size_t(p.entrySeconds / 3600)][std::size_t(p.area)];
        }
        return chart;
    }
    std::map<qint64, std::array<int, 3>> days;
    for (const Module1::Passage &p : passages) {
        if (!p.entryDate.isValid()) {
            ++chart.undated;
            continue;
        }
        ++days[p.entryDate.toJulianDay()][std::size_t(p.area)];
    }
    if (days.empty())
        return chart;
    for (qint64 d = days.begin()->first; d <= days.rbegin()->first; ++d) {
        const auto it = days.find(d);
        chart.counts.push_back(it == days.end() ? std::array<int, 3>{0, 0, 0} : it->second);
        chart.labels << QDate::fromJulianDay(d).toString(QStringLiteral("MM-dd"));
    }
    return chart;
}

void paintPassageChart(QPainter &p, const QSize &size, const PassageChartData &chart)
{
    p.save();
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    const int left = 44, right = 10, top = 24, bottom = 30;
    const QRect plot(left, top, std::max(1, size.width() - left - right), std::max(1, size.height() - top - bottom));
    QFont font = p.font();
    font.setPixelSize(11);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRect(left, 2, plot.width(), top - 4), Qt::AlignLeft | Qt::AlignVCenter,
               chart.perHour ? QStringLiteral("Passages per hour of entry") : QStringLiteral("Passages per day of entry"));

    // A round step for the scale: 1, 2 or 5 times a power of ten, about five lines.
    const int maximum = std::max(1, chart.maximum());
    int step = 1;
    for (int power = 1; step * 5 < maximum; power *= 10) {
        for (const int m : {1, 2, 5}) {
            step = m * power;
            if (step * 5 >= maximum)
                break;
        }
    }
    const int top_value = (maximum + step - 1) / step * step;
    const auto yOf = [&](double v) { return plot.bottom() - v / top_value * plot.height(); };
    for (int v = 0; v <= top_value; v += step) {
        const double y = yOf(v);
        p.setPen(QColor(0xdd, 0xdd, 0xdd));
        p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        p.setPen(Qt::black);
        p.drawText(QRectF(0, y - 8, left - 6, 16), Qt::AlignRight | Qt::AlignVCenter, QString::number(v));
    }

    const int n = int(chart.counts.size());
    if (n > 0) {
        const double width = double(plot.width()) / n;
        // Labels no closer than 40 pixels.
        const int every = std::max(1, int(std::ceil(40 / width)));
        for (int i = 0; i < n; ++i) {
            const double x = plot.left() + i * width;
            double base = 0;
            for (int k = 0; k < 3; ++k) {
                const int c = chart.counts[std::size_t(i)][std::size_t(k)];
                if (c == 0)
                    continue;
                const QRectF bar(QPointF(x + width * 0.1, yOf(base + c)), QPointF(x + width * 0.9, yOf(base)));
                p.fillRect(bar, Map::areaColors[std::size_t(k)]);
                base += c;
            }
            if (i % every == 0) {
                p.setPen(Qt::black);
                p.drawText(QRectF(x - 20 + width / 2, plot.bottom() + 3, 40, 14), Qt::AlignCenter, chart.labels[i]);
            }
        }
    }
    p.setPen(Qt::black);
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    p.drawLine(plot.bottomLeft(), plot.topLeft());

    // The legend, top right.
    int x = plot.right() - 3 * 34;
    for (int k = 0; k < 3; ++k, x += 34) {
        p.fillRect(QRect(x, 8, 10, 10), Map::areaColors[std::size_t(k)]);
        p.drawText(QRect(x + 13, 4, 20, 18), Qt::AlignLeft | Qt::AlignVCenter, Module1::areaLetter(k));
    }
    if (chart.undated > 0)
        p.drawText(QRect(left, size.height() - 14, plot.width(), 14), Qt::AlignRight,
                   QStringLiteral("%1 without an entry time not shown").arg(chart.undated));
    p.restore();
}

QImage passageChartImage(const QSize &size, const PassageChartData &chart)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    paintPassageChart(painter, size, chart);
    return image;
}

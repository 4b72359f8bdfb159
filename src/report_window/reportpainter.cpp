#include "report_window/reportpainter.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace ReportView {

using Module1::DayLine;
using Module1::SilentStretch;
using Module1::StationReport;

namespace {

constexpr double kMargin = 8, kLabelWidth = 84, kTitleHeight = 40, kBarsHeight = 110;

std::uint32_t busiestOf(const StationReport &r)
{
    std::uint32_t busiest = 0;
    for (const DayLine &d : r.days)
        for (std::uint32_t c : d.tenMinutes)
            busiest = std::max(busiest, c);
    return busiest;
}

} // namespace

QColor countColor(std::uint32_t count, std::uint32_t busiest)
{
    if (count == 0)
        return kEmptyColor;
    // By the square root, so that a quiet night still shows against a busy noon.
    const double share = std::sqrt(double(count) / std::max(1u, busiest));
    const int light = int(std::lround(235 - 190 * share));
    return QColor(light - 30 > 0 ? light - 30 : 0, light, 255 - int(60 * share));
}

StripGeometry stripGeometry(const QSize &size, const StationReport &report)
{
    StripGeometry g;
    g.left = kMargin + kLabelWidth;
    g.top = kTitleHeight + 18;
    g.columnWidth = std::max(0.5, (size.width() - g.left - kMargin) / 144.0);
    const double rows = std::max<std::size_t>(1, report.days.size());
    g.rowHeight = std::clamp((size.height() - g.top - kBarsHeight - 2 * kMargin) / rows, 1.0, 24.0);
    return g;
}

void paintReport(QPainter &p, const QSize &size, const StationReport &r, const StationReport *compare)
{
    p.save();
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    p.setRenderHint(QPainter::Antialiasing, false);
    QFont font = p.font();
    font.setPixelSize(12);
    p.setFont(font);
    p.setPen(Qt::black);

    QString title = QStringLiteral("%1 to %2: %3 records, %4 distinct MMSIs, %5 ships a day")
                        .arg(r.first.toString(Qt::ISODate), r.last.toString(Qt::ISODate))
                        .arg(r.records)
                        .arg(r.distinct)
                        .arg(r.shipsPerDay(), 0, 'f', 1);
    if (compare)
        title += QStringLiteral("  |  %1 to %2: %3 ships a day")
                     .arg(compare->first.toString(Qt::ISODate), compare->last.toString(Qt::ISODate))
                     .arg(compare->shipsPerDay(), 0, 'f', 1);
    p.drawText(QRectF(kMargin, 4, size.width() - 2 * kMargin, 18), Qt::AlignLeft | Qt::AlignVCenter, title);
    // The legend.
    double x = kMargin;
    const auto legend = [&](const QColor &c, const QString &text) {
        p.fillRect(QRectF(x, 24, 12, 10), c);
        p.drawText(QRectF(x + 16, 20, 220, 18), Qt::AlignLeft | Qt::AlignVCenter, text);
        x += 24 + p.fontMetrics().horizontalAdvance(text);
    };
    legend(kSilentColor, QStringLiteral("nothing heard"));
    legend(kFixedOnlyColor, QStringLiteral("no ships, fixed stations heard"));
    legend(kNoLogColor, QStringLiteral("no day log or not read"));

    const StripGeometry g = stripGeometry(size, r);
    const std::uint32_t busiest = busiestOf(r);
    for (int h = 0; h <= 24; h += 3) {
        const double hx = g.left + h * 6 * g.columnWidth;
        p.drawLine(QPointF(hx, g.top - 4), QPointF(hx, g.top));
        if (h < 24)
            p.drawText(QRectF(hx + 2, g.top - 18, 40, 14), Qt::AlignLeft | Qt::AlignVCenter,
                       QStringLiteral("%1:00").arg(h, 2, 10, QLatin1Char('0')));
    }
    const bool labels = g.rowHeight >= 10;
    for (std::size_t i = 0; i < r.days.size(); ++i) {
        const DayLine &d = r.days[i];
        const double y = g.top + double(i) * g.rowHeight;
        const double h = g.rowHeight * 0.7;
        if (labels)
            p.drawText(QRectF(kMargin, y, kLabelWidth - 4, g.rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                       d.date.toString(Qt::ISODate));
        if (d.state != DayLine::State::Read) {
            p.fillRect(QRectF(g.left, y, 144 * g.columnWidth, g.rowHeight), kNoLogColor);
            continue;
        }
        // On whole pixels, so that neighbours meet without a seam.
        for (int c = 0; c < 144; ++c) {
            const int x0 = int(std::lround(g.left + c * g.columnWidth)), x1 = int(std::lround(g.left + (c + 1) * g.columnWidth));
            p.fillRect(QRect(x0, int(std::lround(y)), std::max(1, x1 - x0), std::max(1, int(std::lround(h)))),
                       countColor(d.tenMinutes[c], busiest));
        }
    }
    // Silences as bars under the days they cover, to the second.
    for (const SilentStretch &s : r.silences) {
        if (s.kind == SilentStretch::Kind::NoLog || s.kind == SilentStretch::Kind::NotRead)
            continue;
        const QColor colour = s.kind == SilentStretch::Kind::NothingHeard ? kSilentColor : kFixedOnlyColor;
        const double band = s.kind == SilentStretch::Kind::NothingHeard ? 0.7 : 0.85;
        for (QDateTime t = s.start; t < s.end;) {
            const QDateTime dayEnd(t.date().addDays(1), QTime(0, 0));
            const QDateTime until = std::min(dayEnd, s.end);
            const qint64 row = r.first.daysTo(t.date());
            const double x0 = g.left + t.time().msecsSinceStartOfDay() / 600000.0 * g.columnWidth;
            const double x1 = g.left + (until == dayEnd ? 144 : until.time().msecsSinceStartOfDay() / 600000.0) * g.columnWidth;
            p.fillRect(QRectF(x0, g.top + (double(row) + band) * g.rowHeight, std::max(1.0, x1 - x0),
                              std::max(1.0, g.rowHeight * 0.15)),
                       colour);
            t = until;
        }
    }

    // Distinct ships per day.
    const double barsTop = g.top + double(r.days.size()) * g.rowHeight + 2 * kMargin;
    const double barsBottom = barsTop + kBarsHeight - 22;
    int most = 1;
    for (const DayLine &d : r.days)
        most = std::max(most, d.distinctByKind[int(Module1::MmsiKind::Ship)]);
    p.drawText(QRectF(kMargin, barsTop, kLabelWidth, 16), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("ships a day"));
    const double slot = (size.width() - g.left - kMargin) / std::max<std::size_t>(1, r.days.size());
    for (std::size_t i = 0; i < r.days.size(); ++i) {
        const int ships = r.days[i].distinctByKind[int(Module1::MmsiKind::Ship)];
        const double height = (barsBottom - barsTop - 14) * ships / most;
        const QRectF bar(g.left + double(i) * slot + slot * 0.15, barsBottom - height, slot * 0.7, height);
        p.fillRect(bar, QColor(0x23, 0x6f, 0xb0));
        if (slot >= 24)
            p.drawText(QRectF(bar.left() - 8, bar.top() - 14, bar.width() + 16, 14), Qt::AlignCenter, QString::number(ships));
    }
    p.drawLine(QPointF(g.left, barsBottom), QPointF(size.width() - kMargin, barsBottom));
    p.restore();
}

QImage reportImage(const QSize &size, const StationReport &report, const StationReport *compare)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    paintReport(painter, size, report, compare);
    return image;
}

} // namespace ReportView

#include "map_window/render.h"

#include "engine/segmentclip.h"
#include "map_window/coastline.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QImage>

#include <algorithm>
#include <cmath>

namespace Map {

namespace {

// Speed classes of the points: upper bounds in knots and their colours, slow
// blue through fast red; a last class for anything faster.
constexpr double kSpeedBounds[] = {1, 5, 10, 15, 20};
const QColor kSpeedColors[] = {QColor(0x45, 0x75, 0xb4), QColor(0x74, 0xad, 0xd1), QColor(0x66, 0xbd, 0x63),
                               QColor(0xfd, 0xae, 0x61), QColor(0xf4, 0x6d, 0x43), QColor(0xa5, 0x00, 0x26)};
const QColor kNoSpeedColor(0x9e, 0x9e, 0x9e);
const QColor kGridColor(0x5a, 0x78, 0x96, 110);
const QColor kTextColor(0x20, 0x20, 0x20);

// Graticule steps in minutes of arc, the finest first.
constexpr double kGridMinutes[] = {0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1,   2,   5,   10,  15,
                                   30,   60,   120,  300, 600, 900, 1800, 2700, 5400};
constexpr double kGridSpacingPixels = 90;
constexpr double kDotCellPixels = 5;
constexpr std::size_t kLinePointBudget = 2000;
constexpr std::size_t kDotBudget = 1500;
// Segments of a line still over its budget at the coarsest cells: long ones
// criss-crossing the view, each costing the stroker its length.
constexpr std::size_t kScribbleBudget = 500;
constexpr double kDotRadius = 2.5;
// Tracks named in the legend; the rest are counted on one more line.
constexpr int kLegendNames = 10;
// Start and end times labelled in one frame: past these the map is a crowd
// of them and none could be read.
constexpr std::size_t kMostLabels = 100;
constexpr double kFitMargin = 40;
constexpr LatLon kDefaultPlace{33.95, 130.95}; // the Kanmon strait

QFont mapFont(double pixelSize, bool bold = false)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(int(pixelSize));
    f.setBold(bold);
    return f;
}

// Where labelAt puts text: kept inside `within` when given, so that a time at
// the map's edge is not cut.
QRectF labelRect(const QFont &font, QPointF topLeft, const QString &text, const QRectF &within = {})
{
    const QFontMetricsF fm(font);
    QRectF r = fm.boundingRect(QRectF(topLeft, QSizeF(1000, 1000)), Qt::AlignLeft | Qt::AlignTop, text);
    if (!within.isEmpty()) {
        r.moveLeft(std::clamp(r.left(), within.left() + 2, std::max(within.left() + 2, within.right() - r.width() - 2)));
        r.moveTop(std::clamp(r.top(), within.top() + 1, std::max(within.top() + 1, within.bottom() - r.height() - 1)));
    }
    return r;
}

// Text on a pale box, so that it stays readable over land, lines and water.
void drawLabel(QPainter &p, const QRectF &r, const QString &text, const QColor &color = kTextColor)
{
    p.fillRect(r.adjusted(-2, -1, 2, 1), QColor(255, 255, 255, 200));
    p.setPen(color);
    p.drawText(r, Qt::AlignLeft | Qt::AlignTop, text);
}

void labelAt(QPainter &p, QPointF topLeft, const QString &text, const QColor &color = kTextColor,
             const QRectF &within = {})
{
    drawLabel(p, labelRect(p.font(), topLeft, text, within), text, color);
}

QString angleText(double value, double step, char positive, char negative)
{
    const char hemisphere = value < 0 ? negative : positive;
    const double a = std::fabs(value);
    const double stepMinutes = step * 60;
    int decimals = stepMinutes >= 1 ? 0 : stepMinutes >= 0.1 ? 1 : 2;
    const double scale = std::pow(10.0, decimals);
    // Rounded in whole units of the last decimal, so 59.999' becomes the next degree.
    long long units = std::llround(a * 60 * scale);
    const long long perDegree = std::llround(60 * scale);
    const long long degrees = units / perDegree;
    units -= degrees * perDegree;
    // The equator, the prime meridian and the antimeridian lie in neither hemisphere.
    if (units == 0 && (degrees == 0 || (degrees == 180 && positive == 'E')))
        return QStringLiteral("%1°").arg(degrees);
    if (units == 0 && step >= 1)
        return QStringLiteral("%1°%2").arg(degrees).arg(QLatin1Char(hemisphere));
    return QStringLiteral("%1°%2'%3")
        .arg(degrees)
        .arg(double(units) / scale, decimals == 0 ? 2 : decimals + 3, 'f', decimals, QLatin1Char('0'))
        .arg(QLatin1Char(hemisphere));
}

double gridStep(const Viewport &view)
{
    for (const double minutes : kGridMinutes) {
        if (minutes / 60 * view.pixelsPerDegree >= kGridSpacingPixels)
            return minutes / 60;
    }
    return kGridMinutes[std::size(kGridMinutes) - 1] / 60;
}

void drawGraticule(QPainter &p, const Viewport &view)
{
    const double step = gridStep(view);
    const GeoBox b = view.bounds();
    const double w = view.size.width(), h = view.size.height();
    p.setPen(QPen(kGridColor, 1));
    p.setFont(mapFont(11));
    // Past 180 degrees (a track across the antimeridian) the lines go on,
    // labelled as the longitudes they are.
    const double west = b.west, east = b.east;
    const double south = std::max(b.south, -maxLatitude), north = std::min(b.north, maxLatitude);
    const long long firstLon = (long long)std::ceil(west / step), lastLon = (long long)std::floor(east / step);
    const long long firstLat = (long long)std::ceil(south / step), lastLat = (long long)std::floor(north / step);
    // A few hundred lines at most, even for a view wider than the world.
    if (lastLon - firstLon > 400 || lastLat - firstLat > 400)
        return;
    for (long long k = firstLon; k <= lastLon; ++k) {
        const double x = view.toScreen({view.center.lat, k * step}).x();
        p.setPen(QPen(kGridColor, 1));
        p.drawLine(QPointF(x, 0), QPointF(x, h));
        labelAt(p, {x + 3, 2}, longitudeText(std::remainder(k * step, 360.0), step));
    }
    for (long long k = firstLat; k <= lastLat; ++k) {
        const double y = view.toScreen({k * step, view.center.lon}).y();
        p.setPen(QPen(kGridColor, 1));
        p.drawLine(QPointF(0, y), QPointF(w, y));
        // The scale bar has the bottom left corner.
        if (y < h - 50)
            labelAt(p, {3, y + 2}, latitudeText(k * step, step));
    }
}

void drawAreas(QPainter &p, const Viewport &view, const MapScene &scene)
{
    static constexpr const char *names[3] = {"A", "B", "C"};
    p.setFont(mapFont(13, true));
    for (int k = 0; k < 3; ++k) {
        const AreaSquare &a = scene.areas[std::size_t(k)];
        // A negative range matches nothing in a Search; it is not drawn either.
        if (!(a.range >= 0) || !std::isfinite(a.latitude) || !std::isfinite(a.longitude))
            continue;
        const GeoBox g = a.box();
        // Drawn again a turn east and west, as the coastline is, for a view past 180 degrees.
        for (const double turn : {-360.0, 0.0, 360.0}) {
            QRectF r(view.toScreen({g.north, g.west + turn}), view.toScreen({g.south, g.east + turn}));
            // A square of a few metres stays visible as a small one.
            if (r.width() < 8)
                r = QRectF(r.center() - QPointF(4, 4), QSizeF(8, 8));
            if (!r.intersects(QRectF(QPointF(-50, -50), view.size + QSizeF(100, 100))))
                continue;
            const QColor color = areaColors[std::size_t(k)];
            QColor fill = color;
            fill.setAlpha(90);
            if (a.on) {
                p.setPen(QPen(color, 2));
                p.setBrush(fill);
            } else {
                p.setPen(QPen(color, 2, Qt::DashLine));
                p.setBrush(Qt::NoBrush);
            }
            p.drawRect(r);
            p.setPen(color);
            p.drawText(r.topLeft() + QPointF(3, -4), QLatin1String(names[k]));
        }
    }
    p.setBrush(Qt::NoBrush);
}

const std::array<QImage, std::size(kSpeedColors) + 1> &dotSprites()
{
    static const std::array<QImage, std::size(kSpeedColors) + 1> sprites = [] {
        std::array<QImage, std::size(kSpeedColors) + 1> made;
        const int side = int(std::ceil(2 * kDotRadius)) + 2;
        for (std::size_t cls = 0; cls < made.size(); ++cls) {
            QImage dot(side, side, QImage::Format_ARGB32_Premultiplied);
            dot.fill(Qt::transparent);
            QPainter q(&dot);
            q.setRenderHint(QPainter::Antialiasing);
            q.setPen(Qt::NoPen);
            q.setBrush(cls < std::size(kSpeedColors) ? kSpeedColors[cls] : kNoSpeedColor);
            q.drawEllipse(QPointF(side / 2.0, side / 2.0), kDotRadius, kDotRadius);
            made[cls] = dot;
        }
        return made;
    }();
    return sprites;
}

// The world rectangle a view shows, with `pixels` to spare on every side.
QRectF worldRect(const Viewport &view, double pixels)
{
    const QPointF c = project(view.center);
    const double halfW = (view.size.width() / 2 + pixels) / view.pixelsPerDegree;
    const double halfH = (view.size.height() / 2 + pixels) / view.pixelsPerDegree;
    return QRectF(QPointF(c.x() - halfW, c.y() - halfH), QPointF(c.x() + halfW, c.y() + halfH));
}

// Calls f(from, to) for every block of `kept` that reaches into `area`, with
// the index range it covers, the segment into the block included.
template <class F>
void forBlocksIn(const ThinnedTrack &kept, const QRectF &area, F f)
{
    for (std::size_t b = 0; b < kept.blocks.size(); ++b) {
        const QRectF &r = kept.blocks[b];
        if (r.right() < area.left() || r.left() > area.right() || r.bottom() < area.top() || r.top() > area.bottom())
            continue;
        const std::size_t from = b * ThinnedTrack::kBlock;
        f(from == 0 ? 0 : from - 1, std::min(kept.size(), from + ThinnedTrack::kBlock));
    }
}

// The track's line and points where the view shows them.
void drawTrack(QPainter &p, const Viewport &view, const Track &track, int index)
{
    const QPointF c = project(view.center);
    const double s = view.pixelsPerDegree;
    const double cx = view.size.width() / 2, cy = view.size.height() / 2;
    auto toScreen = [&](QPointF w) { return QPointF(cx + (w.x() - c.x()) * s, cy - (w.y() - c.y()) * s); };
    const QRectF visible(QPointF(-20, -20), view.size + QSizeF(40, 40));
    const QRectF area = worldRect(view, 20);

    // A frame must stay quick whatever the track: beyond a budget of points
    // in view, line and points are drawn coarser.
    auto inView = [&](const ThinnedTrack &kept) {
        std::size_t n = 0;
        forBlocksIn(kept, area, [&n](std::size_t from, std::size_t to) { n += to - from; });
        return n;
    };
    auto keptFor = [&](double cellPixels, std::size_t budget) {
        auto kept = track.thinned(s, cellPixels);
        while (kept->size() > budget && cellPixels < 64 && inView(*kept) > budget) {
            cellPixels *= 2;
            kept = track.thinned(s, cellPixels);
        }
        return kept;
    };
    // Zoomed to centimetres a pixel into an anchorage, even 64-pixel cells
    // leave tens of thousands of points in view, a scribble that took a
    // minute to stroke: past that, every stride-th point of each block is
    // drawn (its last one always), which the eye cannot tell apart there.
    auto strideFor = [&](const ThinnedTrack &kept, std::size_t budget) -> std::size_t {
        if (kept.size() <= budget)
            return 1;
        const std::size_t n = inView(kept);
        return n <= budget ? 1 : (n + budget - 1) / budget;
    };
    auto nextIndex = [](std::size_t k, std::size_t stride, std::size_t to) {
        return k + stride < to || k + 1 >= to ? k + stride : to - 1;
    };

    if (track.line && track.size() > 1) {
        const auto kept = keptFor(1.0, kLinePointBudget);
        p.setPen(QPen(trackColor(index), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        // One polyline per block: short pieces also keep the stroker linear
        // where the track crosses itself.
        // Each segment is cut to the view first: zoomed far in, a segment
        // can run millions of pixels past the edges, and the stroker costs
        // what it is given (seconds a frame), not what lands on the screen.
        std::vector<QPointF> run;
        auto flush = [&] {
            if (run.size() > 1)
                p.drawPolyline(run.data(), int(run.size()));
            run.clear();
        };
        const std::size_t stride = strideFor(*kept, kLinePointBudget) > 1 ? strideFor(*kept, kScribbleBudget) : 1;
        forBlocksIn(*kept, area, [&](std::size_t from, std::size_t to) {
            QPointF previous = toScreen(track.world(kept->indices[from]));
            for (std::size_t k = nextIndex(from, stride, to); k < to; k = nextIndex(k, stride, to)) {
                const QPointF next = toScreen(track.world(kept->indices[k]));
                QPointF a = previous, b = next;
                previous = next;
                if (!Geometry::clipSegment(visible, a, b))
                    continue;
                if (run.empty() || run.back() != a) {
                    flush();
                    run.push_back(a);
                }
                run.push_back(b);
            }
            flush();
        });
    }

    // The points by speed class: a small round sprite stamped per point is far
    // cheaper than antialiasing a circle each time.
    const auto dots = keptFor(kDotCellPixels, kDotBudget);
    const std::array<QImage, std::size(kSpeedColors) + 1> &sprites = dotSprites();
    const QPointF half(sprites[0].width() / 2.0, sprites[0].height() / 2.0);
    const std::size_t dotStride = strideFor(*dots, kDotBudget);
    forBlocksIn(*dots, area, [&](std::size_t from, std::size_t to) {
        // The point before the block belongs to the block before.
        for (std::size_t k = from == 0 ? 0 : from + 1; k < to; k += dotStride) {
            const std::uint32_t i = dots->indices[k];
            const QPointF at = toScreen(track.world(i));
            if (!visible.contains(at))
                continue;
            const double v = track.speed(i);
            std::size_t cls = std::size(kSpeedColors); // no speed
            if (std::isfinite(v))
                cls = std::size_t(std::upper_bound(std::begin(kSpeedBounds), std::end(kSpeedBounds), v) -
                                  std::begin(kSpeedBounds));
            p.drawImage(at - half, sprites[cls]);
        }
    });
}

// A line's first and last point: a ring each, and the time where a label fits
// clear of the legend and of the labels already placed (`taken`). A line of
// one point has one ring, its start.
void drawEnds(QPainter &p, const Viewport &view, const Track &track, std::vector<QRectF> &taken,
              std::size_t &labels)
{
    if (!track.line || track.isEmpty())
        return;
    const QRectF visible(QPointF(-20, -20), view.size + QSizeF(40, 40));
    const QPointF c = project(view.center);
    const double s = view.pixelsPerDegree;
    const std::size_t ends[2] = {0, track.size() - 1};
    for (int e = 0; e < (track.size() > 1 ? 2 : 1); ++e) {
        const QPointF w = track.world(ends[e]);
        const QPointF at(view.size.width() / 2 + (w.x() - c.x()) * s, view.size.height() / 2 - (w.y() - c.y()) * s);
        if (!visible.contains(at))
            continue;
        p.setPen(QPen(Qt::black, 2));
        p.setBrush(e == 0 ? QColor(Qt::white) : QColor(Qt::black));
        p.drawEllipse(at, 5, 5);
        p.setBrush(Qt::NoBrush);
        if (labels >= kMostLabels)
            continue;
        const QString time = track.time(ends[e]);
        const QString text = (e == 0 ? QStringLiteral("start") : QStringLiteral("end")) +
                             (time.isEmpty() ? QString() : QLatin1Char(' ') + time);
        const QRectF r = labelRect(p.font(), at + QPointF(8, e == 0 ? -18 : 4), text, QRectF(QPointF(0, 0), view.size));
        const QRectF room = r.adjusted(-2, -1, 2, 1);
        if (std::any_of(taken.begin(), taken.end(), [&room](const QRectF &t) { return t.intersects(room); }))
            continue;
        drawLabel(p, r, text);
        taken.push_back(room);
        ++labels;
    }
}

QStringList speedTexts()
{
    QStringList speeds;
    speeds << QStringLiteral("< 1 kn");
    for (std::size_t i = 1; i < std::size(kSpeedBounds); ++i)
        speeds << QStringLiteral("%1–%2 kn").arg(kSpeedBounds[i - 1]).arg(kSpeedBounds[i]);
    speeds << QStringLiteral("≥ %1 kn").arg(kSpeedBounds[std::size(kSpeedBounds) - 1]) << QStringLiteral("no speed");
    return speeds;
}

// The legend's lines: the first tracks' names, then how many more there are.
QStringList legendNames(const MapScene &scene, const QFontMetricsF &fm)
{
    QStringList names;
    const std::size_t shown = std::min<std::size_t>(scene.tracks.size(), kLegendNames);
    for (std::size_t i = 0; i < shown; ++i)
        names << fm.elidedText(scene.tracks[i]->name, Qt::ElideRight, 220);
    if (scene.tracks.size() > shown)
        names << QStringLiteral("and %1 more").arg(scene.tracks.size() - shown);
    return names;
}

} // namespace

QRectF legendRect(QSizeF size, const MapScene &scene)
{
    if (scene.tracks.empty())
        return {};
    const QFontMetricsF fm(mapFont(11));
    const QStringList lines = speedTexts() + legendNames(scene, fm);
    double width = 0;
    for (const QString &s : lines)
        width = std::max(width, fm.horizontalAdvance(s));
    const double boxW = width + 34, boxH = (fm.height() + 2) * double(lines.size()) + 10;
    // On an image too small for it the map itself matters more.
    if (boxW + 16 > size.width() * 0.6 || boxH + 32 > size.height() * 0.75)
        return {};
    return QRectF(size.width() - boxW - 8, 24, boxW, boxH);
}

namespace {

void drawLegend(QPainter &p, const Viewport &view, const MapScene &scene)
{
    const QRectF box = legendRect(view.size, scene);
    if (box.isEmpty())
        return;
    p.setFont(mapFont(11));
    const QFontMetricsF fm(p.font());
    const QStringList speeds = speedTexts();
    const QStringList names = legendNames(scene, fm);
    const double line = fm.height() + 2;
    p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
    p.setBrush(QColor(255, 255, 255, 225));
    p.drawRect(box);
    p.setBrush(Qt::NoBrush);
    double y = box.top() + 5;
    for (int i = 0; i < names.size(); ++i, y += line) {
        if (i < kLegendNames) {
            p.setPen(QPen(trackColor(i), 3));
            p.drawLine(QPointF(box.left() + 6, y + line / 2), QPointF(box.left() + 24, y + line / 2));
        }
        p.setPen(kTextColor);
        p.drawText(QPointF(box.left() + 30, y + fm.ascent()), names[i]);
    }
    for (int i = 0; i < speeds.size(); ++i, y += line) {
        const QColor color = i < int(std::size(kSpeedColors)) ? kSpeedColors[i] : kNoSpeedColor;
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(QPointF(box.left() + 15, y + line / 2), 4, 4);
        p.setBrush(Qt::NoBrush);
        p.setPen(kTextColor);
        p.drawText(QPointF(box.left() + 30, y + fm.ascent()), speeds[i]);
    }
}

void drawScaleBar(QPainter &p, const Viewport &view)
{
    const double mpp = view.metresPerPixel();
    if (!(mpp > 0) || !std::isfinite(mpp))
        return;
    // The longest 1, 2 or 5 times a power of ten that fits in 150 pixels.
    const double most = 150 * mpp;
    const double power = std::pow(10.0, std::floor(std::log10(most)));
    double metres = power;
    for (const double f : {2.0, 5.0}) {
        if (f * power <= most)
            metres = f * power;
    }
    const double pixels = metres / mpp;
    const QString text = metres >= 1000 ? QStringLiteral("%1 km").arg(metres / 1000)
                                        : QStringLiteral("%1 m").arg(metres);
    const QPointF left(12, view.size.height() - 14);
    p.fillRect(QRectF(left - QPointF(6, 22), QSizeF(pixels + 12, 30)), QColor(255, 255, 255, 200));
    p.setPen(QPen(Qt::black, 2));
    p.drawLine(left, left + QPointF(pixels, 0));
    p.drawLine(left, left - QPointF(0, 6));
    p.drawLine(left + QPointF(pixels, 0), left + QPointF(pixels, -6));
    p.setFont(mapFont(11));
    p.drawText(left + QPointF(2, -8), text);
}

// Notes stacked up from the bottom right corner, each cut to the image's width.
void drawNotes(QPainter &p, const Viewport &view, const QStringList &notes)
{
    p.setFont(mapFont(12));
    const QFontMetricsF fm(p.font());
    double bottom = view.size.height() - 8;
    for (const QString &note : notes) {
        const QString text = fm.elidedText(note, Qt::ElideMiddle, std::max(view.size.width() - 24, 10.0));
        const double w = fm.horizontalAdvance(text);
        bottom -= fm.height();
        labelAt(p, QPointF(view.size.width() - w - 10, bottom), text, QColor(0x80, 0x20, 0x20));
        bottom -= 6;
    }
}

} // namespace

QColor speedColor(double knots)
{
    if (!std::isfinite(knots))
        return kNoSpeedColor;
    return kSpeedColors[std::upper_bound(std::begin(kSpeedBounds), std::end(kSpeedBounds), knots) - std::begin(kSpeedBounds)];
}

QColor trackColor(int index)
{
    static const QColor colors[] = {QColor(0x1f, 0x1f, 0x7a), QColor(0x7a, 0x1f, 0x5c), QColor(0x0b, 0x5d, 0x1e),
                                    QColor(0x8c, 0x4a, 0x00), QColor(0x00, 0x5f, 0x73), QColor(0x4b, 0x00, 0x82)};
    return colors[std::size_t(index) % std::size(colors)];
}

QString latitudeText(double latitude, double step)
{
    return angleText(latitude, step, 'N', 'S');
}

QString longitudeText(double longitude, double step)
{
    return angleText(longitude, step, 'E', 'W');
}

void renderMap(QPainter &painter, const Viewport &view, MapScene &scene)
{
    painter.save();
    const QRectF all(QPointF(0, 0), view.size);
    painter.setClipRect(all);
    painter.fillRect(all, seaColor);
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (scene.coastline && scene.coastline->isOpen())
        scene.coastline->draw(painter, view);
    drawGraticule(painter, view);
    if (scene.showAreas)
        drawAreas(painter, view, scene);
    drawRangeLayer(painter, view, scene.range);
    for (std::size_t i = 0; i < scene.tracks.size(); ++i)
        drawTrack(painter, view, *scene.tracks[i], int(i));
    drawHighlight(painter, view, scene.highlight);
    std::vector<QRectF> taken;
    if (const QRectF legend = legendRect(view.size, scene); !legend.isEmpty())
        taken.push_back(legend);
    std::size_t labels = 0;
    painter.setFont(mapFont(11));
    for (const auto &track : scene.tracks)
        drawEnds(painter, view, *track, taken, labels);

    if (scene.hoverTrack >= 0 && std::size_t(scene.hoverTrack) < scene.tracks.size() &&
        scene.hoverPoint < scene.tracks[std::size_t(scene.hoverTrack)]->size()) {
        const Track &t = *scene.tracks[std::size_t(scene.hoverTrack)];
        painter.setPen(QPen(Qt::black, 2));
        painter.drawEllipse(view.toScreen(t.position(scene.hoverPoint)), 7, 7);
    }
    if (!scene.selection.isEmpty()) {
        painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
        painter.setBrush(QColor(255, 255, 255, 60));
        painter.drawRect(scene.selection);
        painter.setBrush(Qt::NoBrush);
    }
    drawLegend(painter, view, scene);
    drawScaleBar(painter, view);
    drawNotes(painter, view, mapNotes(scene));
    painter.restore();
}

QStringList mapNotes(const MapScene &scene)
{
    QStringList notes;
    if (!scene.coastline || !scene.coastline->isOpen() || scene.coastline->isDamaged())
        notes << (scene.coastline ? scene.coastline->error() : QStringLiteral("the coastline is not installed"));
    // Mercator ends at 85.05 degrees: points nearer the poles are drawn on that edge.
    if (std::any_of(scene.tracks.begin(), scene.tracks.end(), [](const auto &t) {
            return !t->isEmpty() && (t->bounds().north > maxLatitude || t->bounds().south < -maxLatitude);
        }))
        notes << QStringLiteral("points beyond 85.05° N or S are drawn at 85.05°");
    return notes;
}

QImage renderImage(const Viewport &view, MapScene &scene)
{
    QImage image(view.size.toSize(), QImage::Format_RGB32);
    QPainter painter(&image);
    renderMap(painter, view, scene);
    return image;
}

PointRef pointAt(const MapScene &scene, const Viewport &view, QPointF screen, double radius)
{
    PointRef best;
    double bestDistance = radius * radius;
    for (int t = int(scene.tracks.size()) - 1; t >= 0; --t) {
        const Track &track = *scene.tracks[std::size_t(t)];
        if (track.isEmpty())
            continue;
        const auto kept = track.thinned(view.pixelsPerDegree, 1.0);
        const QPointF c = project(view.center);
        const double s = view.pixelsPerDegree;
        const QPointF offset(view.size.width() / 2 - screen.x(), view.size.height() / 2 - screen.y());
        const QPointF w0 = project(view.toGeo(screen));
        const double r = (radius + 1) / s;
        forBlocksIn(*kept, QRectF(w0 - QPointF(r, r), w0 + QPointF(r, r)), [&](std::size_t from, std::size_t to) {
            for (std::size_t k = from; k < to; ++k) {
                const std::uint32_t i = kept->indices[k];
                const QPointF w = track.world(i);
                const QPointF d((w.x() - c.x()) * s + offset.x(), -(w.y() - c.y()) * s + offset.y());
                const double distance = d.x() * d.x() + d.y() * d.y();
                if (distance <= bestDistance) {
                    bestDistance = distance;
                    best = {t, i};
                }
            }
        });
        if (best.track >= 0)
            return best;
    }
    return best;
}

QString pointText(const Track &track, std::size_t index)
{
    const LatLon at = track.position(index);
    QStringList lines{track.name};
    const QString time = track.time(index);
    if (!time.isEmpty())
        lines << time;
    const double speed = track.speed(index);
    if (std::isfinite(speed))
        lines << QStringLiteral("%1 kn").arg(speed, 0, 'f', 1);
    lines << QStringLiteral("%1 %2, %3 %4")
                 .arg(std::fabs(at.lat), 0, 'f', 5)
                 .arg(at.lat < 0 ? QLatin1Char('S') : QLatin1Char('N'))
                 .arg(std::fabs(at.lon), 0, 'f', 5)
                 .arg(at.lon < 0 ? QLatin1Char('W') : QLatin1Char('E'));
    const QString status = track.status(index);
    if (!status.isEmpty())
        lines << status;
    return lines.join(QLatin1Char('\n'));
}

GeoBox sceneBounds(const MapScene &scene)
{
    GeoBox box{90, 180, -90, -180};
    for (const auto &t : scene.tracks) {
        if (t->isEmpty())
            continue;
        const GeoBox b = t->bounds();
        box.extend({b.south, b.west});
        box.extend({b.north, b.east});
    }
    if (box.isEmpty() && !scene.range.isEmpty())
        box = scene.range.bounds();
    if (!box.isEmpty() || !scene.showAreas)
        return box;
    for (const AreaSquare &a : scene.areas) {
        if (!(a.range >= 0) || !std::isfinite(a.latitude) || !std::isfinite(a.longitude))
            continue;
        const GeoBox b = a.box();
        box.extend({std::clamp(b.south, -90.0, 90.0), b.west});
        box.extend({std::clamp(b.north, -90.0, 90.0), b.east});
    }
    return box;
}

Viewport fitScene(const MapScene &scene, QSizeF size)
{
    const GeoBox bounds = sceneBounds(scene);
    const GeoBox box = bounds.isEmpty() ? GeoBox::around(kDefaultPlace) : bounds;
    // A small image keeps most of itself for the map.
    const double margin = std::min(kFitMargin, std::min(size.width(), size.height()) / 8);
    const QMarginsF around(margin, margin, margin, margin);
    const QRectF legend = legendRect(size, scene);
    if (legend.isEmpty())
        return fitBox(box, size, around);
    // Clear of the legend: beside it or below it, whichever leaves the larger map.
    QMarginsF beside = around, below = around;
    beside.setRight(size.width() - legend.left() + margin);
    below.setTop(legend.bottom() + margin);
    const Viewport a = fitBox(box, size, beside);
    const Viewport b = fitBox(box, size, below);
    return a.pixelsPerDegree >= b.pixelsPerDegree ? a : b;
}

} // namespace Map

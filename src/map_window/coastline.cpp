#include "map_window/coastline.h"

#include "map_window/coastlinefile.h"
#include "map_window/coastlinegeometry.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <list>
#include <unordered_map>

namespace Map {

namespace {
// Bins of a harbour at full resolution take a few megabytes as paths; this
// keeps a pan across a coast and back from rebuilding them while bounding the
// window's memory.
constexpr qint64 cacheBudget = 48 * 1024 * 1024;
// Past this many pixels across, a bin is clipped to the view before it is
// filled: QPainter's rasterizer slows down by the size of what it is given,
// not by what lands on the screen.
constexpr double clipAbovePixels = 1024;
// What one frame may decode from the file: the densest view GSHHG 2.3.7 gives
// (a 10,000-pixel image at full resolution, some 36 bins) decodes at most
// about 5 MB and 1.6 million points. A crafted file that asks for more gets
// the rest of its bins left out of that frame, and says so.
constexpr qint64 frameDecodedBudget = 16 * 1024 * 1024;
constexpr qint64 framePointBudget = 2'000'000;
}

struct Coastline::Data {
    struct Cached {
        QPainterPath path; // world units, even-odd: land with its lakes as holes
        struct Ring {
            int first;
            int count;
            QRectF bounds;
        };
        std::vector<Ring> rings; // where each ring is in path, for clipping
        qint64 bytes = 0;
        std::list<quint64>::iterator lru;
    };

    Coast::File file;
    QString error = QStringLiteral("the coastline is not installed");
    char forced = 0;
    QBrush land{QColor(0xe8, 0xe0, 0xc8)};
    std::unordered_map<quint64, Cached> cache;
    std::list<quint64> lru; // most recently drawn first
    qint64 cachedBytes = 0;
    // What the frame being drawn has decoded so far.
    qint64 frameDecoded = 0;
    qint64 framePoints = 0;
    const Cached none{};

    const Cached &binFor(int level, int index);
    void evict();
};

const Coastline::Data::Cached &Coastline::Data::binFor(int level, int index)
{
    const quint64 key = (quint64(level) << 32) | quint32(index);
    if (auto it = cache.find(key); it != cache.end()) {
        lru.splice(lru.begin(), lru, it->second.lru);
        return it->second;
    }
    if ((frameDecoded > frameDecodedBudget || framePoints > framePointBudget) && file.blockSize(level, index) > 0) {
        error = QStringLiteral("the coastline file %1 holds more than a frame may decode (%2 MB, %3 points); "
                               "part of the land is not drawn")
                    .arg(file.fileName())
                    .arg(frameDecodedBudget / (1024 * 1024))
                    .arg(framePointBudget);
        return none;
    }
    Coast::Bin bin;
    Cached entry;
    entry.path.setFillRule(Qt::OddEvenFill);
    qsizetype decoded = 0;
    const bool read = file.readBin(level, index, bin, &decoded);
    frameDecoded += decoded;
    for (const Coast::Segment &segment : bin.segments)
        framePoints += qint64(segment.points.size());
    if (!read) {
        error = file.error();
    } else {
        const Coast::File::Level &l = file.levels()[level];
        const double size = l.binSizeMinutes / 60.0;
        const double west = (index % l.binsX) * size;
        const double south = 90.0 - (index / l.binsX + 1) * size;
        const double step = size / Coast::maxDelta;
        for (const Coast::Ring &ring : Coast::closeBin(bin)) {
            int first = -1;
            QPointF low(1e9, 1e9), high(-1e9, -1e9);
            for (const Coast::Point p : ring.points) {
                const QPointF w = project({south + p.y * step, west + p.x * step});
                if (first < 0) {
                    // An empty path already holds a move to the origin, which
                    // this move replaces: the ring starts at the last element.
                    entry.path.moveTo(w);
                    first = entry.path.elementCount() - 1;
                } else {
                    entry.path.lineTo(w);
                }
                low = {std::min(low.x(), w.x()), std::min(low.y(), w.y())};
                high = {std::max(high.x(), w.x()), std::max(high.y(), w.y())};
            }
            entry.rings.push_back({first, entry.path.elementCount() - first, QRectF(low, high)});
            entry.path.closeSubpath();
        }
    }
    entry.bytes = qint64(sizeof(QPainterPath::Element)) * entry.path.elementCount()
                  + qint64(sizeof(Cached::Ring)) * qint64(entry.rings.size()) + 64;
    lru.push_front(key);
    entry.lru = lru.begin();
    cachedBytes += entry.bytes;
    auto &stored = cache.emplace(key, std::move(entry)).first->second;
    evict();
    return stored;
}

void Coastline::Data::evict()
{
    // The bin just added stays, even over budget: it is about to be drawn.
    while (cachedBytes > cacheBudget && lru.size() > 1) {
        const auto it = cache.find(lru.back());
        cachedBytes -= it->second.bytes;
        cache.erase(it);
        lru.pop_back();
    }
}

Coastline::Coastline() : d(std::make_unique<Data>()) {}
Coastline::~Coastline() = default;

bool Coastline::open(const QString &path)
{
    d->cache.clear();
    d->lru.clear();
    d->cachedBytes = 0;
    if (path.isEmpty()) {
        d->file.close();
        d->error = QStringLiteral("the coastline is not installed");
        return false;
    }
    if (!d->file.open(path)) {
        d->error = d->file.error();
        return false;
    }
    d->error.clear();
    return true;
}

bool Coastline::isOpen() const
{
    return d->file.isOpen();
}

QString Coastline::error() const
{
    return d->error;
}

bool Coastline::isDamaged() const
{
    return d->file.isOpen() && !d->error.isEmpty();
}

void Coastline::setResolution(char letter)
{
    d->forced = letter;
}

void Coastline::setLandBrush(const QBrush &brush)
{
    d->land = brush;
}

char Coastline::resolutionFor(const Viewport &view) const
{
    if (!d->file.isOpen())
        return 0;
    std::vector<char> letters;
    for (const Coast::File::Level &l : d->file.levels())
        letters.push_back(l.letter);
    const int level = Coast::pickLevel(letters, d->forced ? d->forced : Coast::resolutionFor(view.metresPerPixel()));
    return level < 0 ? 0 : letters[level];
}

void Coastline::draw(QPainter &painter, const Viewport &view)
{
    const char letter = resolutionFor(view);
    if (!letter)
        return;
    int level = 0;
    while (d->file.levels()[level].letter != letter)
        ++level;
    const int binSize = d->file.levels()[level].binSizeMinutes;

    const QPointF c = project(view.center);
    const double k = view.pixelsPerDegree;
    const QTransform toScreen(k, 0, 0, -k, view.size.width() / 2 - c.x() * k, view.size.height() / 2 + c.y() * k);

    d->frameDecoded = 0;
    d->framePoints = 0;
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(d->land);
    painter.setRenderHint(QPainter::Antialiasing);
    const QTransform base = painter.worldTransform();
    const double size = binSize / 60.0;
    const int binsX = d->file.levels()[level].binsX;
    for (const Coast::BinRef &ref : Coast::binsInBox(view.bounds(), binSize)) {
        const Data::Cached &bin = d->binFor(level, ref.index);
        if (bin.path.isEmpty())
            continue;
        // Each bin is drawn a pixel larger than it is, half a pixel past every
        // side: two antialiased edges meeting on a bin side would otherwise
        // leave a faint seam of sea across the land. Nothing moves by more
        // than half a pixel.
        const double west = (ref.index % binsX) * size + ref.lonShift;
        const double south = 90.0 - (ref.index / binsX + 1) * size;
        const QPointF sw = project({south, west});
        const QPointF ne = project({south + size, west + size});
        const QPointF mid = (sw + ne) / 2;
        const double grow = 1.0 / k;
        const double sx = 1 + grow / (ne.x() - sw.x());
        const double sy = 1 + grow / std::max(ne.y() - sw.y(), 1e-9);
        const QTransform toWorld(sx, 0, 0, sy, mid.x() * (1 - sx) + sx * ref.lonShift, mid.y() * (1 - sy));
        painter.setWorldTransform(toWorld * toScreen * base);
        if ((ne.x() - sw.x()) * k < clipAbovePixels && (ne.y() - sw.y()) * k < clipAbovePixels) {
            painter.drawPath(bin.path);
            continue;
        }
        // Zoomed far into a bin: only the rings that reach the view, cut to
        // it (with a margin so that no cut edge shows).
        const QRectF area = (toWorld * toScreen).inverted().mapRect(QRectF(QPointF(0, 0), view.size).adjusted(-4, -4, 4, 4));
        QPainterPath clipped;
        clipped.setFillRule(Qt::OddEvenFill);
        std::vector<QPointF> points;
        for (const Data::Cached::Ring &ring : bin.rings) {
            if (ring.bounds.left() > area.right() || ring.bounds.right() < area.left()
                || ring.bounds.top() > area.bottom() || ring.bounds.bottom() < area.top())
                continue;
            points.resize(ring.count);
            for (int i = 0; i < ring.count; ++i) {
                const QPainterPath::Element &e = bin.path.elementAt(ring.first + i);
                points[i] = QPointF(e.x, e.y);
            }
            const std::vector<QPointF> cut = Coast::clipRing(points.data(), ring.count, area);
            if (!cut.empty())
                clipped.addPolygon(QPolygonF(QList<QPointF>(cut.begin(), cut.end())));
        }
        painter.drawPath(clipped);
    }
    painter.restore();
}

qint64 Coastline::loadedBytes() const
{
    return d->cachedBytes;
}

QString Coastline::defaultPath()
{
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString &candidate : {dir + QStringLiteral("/coastline.bin"),
                                     dir + QStringLiteral("/../share/velkais-log-browser/coastline.bin")}) {
        if (QFileInfo(candidate).isFile())
            return QFileInfo(candidate).canonicalFilePath();
    }
    return {};
}

} // namespace Map

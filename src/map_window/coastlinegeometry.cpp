#include "coastlinegeometry.h"

#include <algorithm>
#include <cmath>

namespace Coast {

namespace {

constexpr qint64 sideLength = maxDelta;
constexpr qint64 perimeter = 4 * sideLength;

// Distance from the bin's south-west corner, counter-clockwise along the
// sides, of a point on side.
qint64 perimeterPosition(int side, Point p)
{
    switch (side) {
    case 0: return p.x;
    case 1: return sideLength + p.y;
    case 2: return 2 * sideLength + (sideLength - p.x);
    default: return 3 * sideLength + (sideLength - p.y);
    }
}

qint64 ahead(qint64 from, qint64 to)
{
    return ((to - from) % perimeter + perimeter) % perimeter;
}

constexpr Point corners[4] = {{0, 0}, {maxDelta, 0}, {maxDelta, maxDelta}, {0, maxDelta}};

int faceLevel(int lowest)
{
    // A face bounded by a lake's shore and corners in the land around it is land.
    return lowest <= 1 ? 1 : 2 * ((lowest - 1) / 2) + 1;
}

} // namespace

std::vector<BinRef> binsInBox(const Map::GeoBox &box, int binSizeMinutes)
{
    std::vector<BinRef> out;
    if (box.isEmpty() || binSizeMinutes <= 0)
        return out;
    const double size = binSizeMinutes / 60.0;
    const int binsX = 21600 / binSizeMinutes;
    const int binsY = 10800 / binSizeMinutes;
    // Rows count from the north, as in the table.
    const int rowFirst = std::clamp(int(std::floor((90.0 - std::min(box.north, 90.0)) / size)), 0, binsY - 1);
    const int rowLast = std::clamp(int(std::ceil((90.0 - std::max(box.south, -90.0)) / size)) - 1, 0, binsY - 1);
    qint64 colFirst = qint64(std::floor(box.west / size));
    qint64 colLast = qint64(std::ceil(box.east / size)) - 1;
    colLast = std::max(colLast, colFirst);
    // However far a view is zoomed out, four turns of the globe are enough.
    colLast = std::min(colLast, colFirst + 4 * qint64(binsX) - 1);
    for (int row = rowFirst; row <= rowLast; ++row) {
        for (qint64 c = colFirst; c <= colLast; ++c) {
            const qint64 turn = c >= 0 ? c / binsX : -((-c + binsX - 1) / binsX);
            const int col = int(c - turn * binsX);
            out.push_back({row * binsX + col, 360.0 * double(turn)});
        }
    }
    return out;
}

char resolutionFor(double metresPerPixel)
{
    // GSHHG simplified its levels to about 0.2, 1, 5 and 25 km.
    if (metresPerPixel < 50)
        return 'f';
    if (metresPerPixel < 250)
        return 'h';
    if (metresPerPixel < 1250)
        return 'i';
    if (metresPerPixel < 6250)
        return 'l';
    return 'c';
}

int pickLevel(const std::vector<char> &available, char wanted)
{
    static constexpr char order[] = "clihf";
    auto rank = [](char c) {
        const char *p = std::find(order, order + 5, c);
        return int(p - order);
    };
    const int want = rank(wanted);
    int best = -1;
    int bestScore = 0;
    for (size_t i = 0; i < available.size(); ++i) {
        const int r = rank(available[i]);
        if (r >= 5)
            continue;
        // Coarser by n scores 10 - n, finer by n scores -n: the same, else the
        // nearest coarser, else the nearest finer.
        const int score = r <= want ? 10 - (want - r) : -(r - want);
        if (best < 0 || score > bestScore) {
            best = int(i);
            bestScore = score;
        }
    }
    return best;
}

std::vector<Ring> closeBin(const Bin &bin)
{
    std::vector<Ring> rings;
    struct Crossing {
        qint64 in;
        qint64 out;
        const Segment *segment;
        bool used;
    };
    std::vector<Crossing> crossings;
    int highestCrossing = 0;
    for (const Segment &s : bin.segments) {
        if (s.entry < noSide && s.exit < noSide && s.points.size() >= 2) {
            crossings.push_back({perimeterPosition(s.entry, s.points.front()),
                                 perimeterPosition(s.exit, s.points.back()), &s, false});
            highestCrossing = std::max(highestCrossing, s.level);
        } else if (s.points.size() >= 3) {
            rings.push_back({s.level, s.points});
        }
    }

    // A corner cannot lie deeper than the deepest shore crossing the bin (nor,
    // in a bin without segments, deeper than its shallowest corner).
    std::array<int, 4> cornerLevel = bin.cornerLevels;
    int cap = 4;
    if (!crossings.empty())
        cap = highestCrossing;
    else if (bin.segments.empty())
        cap = *std::min_element(cornerLevel.begin(), cornerLevel.end());
    for (int &l : cornerLevel)
        l = std::clamp(l, 0, cap);

    if (crossings.empty()) {
        const int level = *std::max_element(cornerLevel.begin(), cornerLevel.end());
        if (level % 2 == 1)
            rings.insert(rings.begin(), Ring{level, {corners, corners + 4}});
        return rings;
    }

    std::sort(crossings.begin(), crossings.end(), [](const Crossing &a, const Crossing &b) { return a.in < b.in; });
    for (size_t first = 0; first < crossings.size(); ++first) {
        if (crossings[first].used)
            continue;
        Ring ring;
        Crossing *current = &crossings[first];
        current->used = true;
        ring.points = current->segment->points;
        int lowest = current->segment->level;
        while (true) {
            // The next shore to enter going counter-clockwise from where this
            // one left, the ring's own start included.
            const qint64 at = current->out;
            Crossing *next = &crossings[first];
            qint64 best = ahead(at, next->in);
            for (Crossing &c : crossings) {
                if (c.used)
                    continue;
                const qint64 d = ahead(at, c.in);
                if (d < best) {
                    best = d;
                    next = &c;
                }
            }
            for (qint64 k = 1; k <= 4; ++k) {
                const int corner = int((at / sideLength + k) % 4);
                const qint64 d = ahead(at, corner * sideLength);
                if (d > 0 && d < best) {
                    ring.points.push_back(corners[corner]);
                    lowest = std::min(lowest, cornerLevel[corner]);
                }
            }
            if (next == &crossings[first])
                break;
            next->used = true;
            ring.points.insert(ring.points.end(), next->segment->points.begin(), next->segment->points.end());
            lowest = std::min(lowest, next->segment->level);
            current = next;
        }
        ring.level = faceLevel(lowest);
        rings.push_back(std::move(ring));
    }
    return rings;
}

std::vector<QPointF> clipRing(const QPointF *points, int count, const QRectF &rect)
{
    std::vector<QPointF> in(points, points + count), out;
    // Each pass keeps the side of one edge of rect: inside(p) says whether p
    // is kept, cross(a, b) where a-b meets the edge.
    auto pass = [&](auto inside, auto cross) {
        out.clear();
        for (size_t i = 0; i < in.size(); ++i) {
            const QPointF a = in[i];
            const QPointF b = in[(i + 1) % in.size()];
            if (inside(a)) {
                out.push_back(a);
                if (!inside(b))
                    out.push_back(cross(a, b));
            } else if (inside(b)) {
                out.push_back(cross(a, b));
            }
        }
        std::swap(in, out);
    };
    auto atX = [](QPointF a, QPointF b, double x) { return QPointF(x, a.y() + (b.y() - a.y()) * (x - a.x()) / (b.x() - a.x())); };
    auto atY = [](QPointF a, QPointF b, double y) { return QPointF(a.x() + (b.x() - a.x()) * (y - a.y()) / (b.y() - a.y()), y); };
    const double l = rect.left(), r = rect.right(), t = rect.top(), btm = rect.bottom();
    pass([&](QPointF p) { return p.x() >= l; }, [&](QPointF a, QPointF b) { return atX(a, b, l); });
    pass([&](QPointF p) { return p.x() <= r; }, [&](QPointF a, QPointF b) { return atX(a, b, r); });
    pass([&](QPointF p) { return p.y() >= t; }, [&](QPointF a, QPointF b) { return atY(a, b, t); });
    pass([&](QPointF p) { return p.y() <= btm; }, [&](QPointF a, QPointF b) { return atY(a, b, btm); });
    if (in.size() < 3)
        in.clear();
    return in;
}

} // namespace Coast

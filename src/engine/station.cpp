#include "engine/station.h"

#include "engine/dayindex.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <span>
#include <utility>

namespace Module1 {

namespace {

bool allDigits(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

constexpr double kRadians = std::numbers::pi / 180;

} // namespace

MmsiKind mmsiKind(std::string_view mmsi)
{
    if (mmsi.size() != 9 || !allDigits(mmsi))
        return MmsiKind::Other;
    if (mmsi.substr(0, 2) == "00")
        return MmsiKind::BaseStation;
    if (mmsi.substr(0, 2) == "99")
        return MmsiKind::AidToNavigation;
    if (mmsi.substr(0, 3) == "111")
        return MmsiKind::SarAircraft;
    if (mmsi[0] >= '2' && mmsi[0] <= '7')
        return MmsiKind::Ship;
    return MmsiKind::Other;
}

const char *mmsiKindName(MmsiKind kind)
{
    switch (kind) {
    case MmsiKind::Ship: return "ships";
    case MmsiKind::BaseStation: return "base stations";
    case MmsiKind::AidToNavigation: return "aids to navigation";
    case MmsiKind::SarAircraft: return "SAR aircraft";
    case MmsiKind::Other: break;
    }
    return "other";
}

int secondOfDay(std::string_view t)
{
    if (t.size() != 8 || t[2] != ':' || t[5] != ':')
        return -1;
    const auto two = [&](std::size_t i) {
        const char a = t[i], b = t[i + 1];
        return a >= '0' && a <= '9' && b >= '0' && b <= '9' ? (a - '0') * 10 + (b - '0') : 99;
    };
    const int h = two(0), m = two(3), s = two(6);
    if (h > 23 || m > 59 || s > 59)
        return -1;
    return h * 3600 + m * 60 + s;
}

double distanceNm(double lat1, double lon1, double lat2, double lon2)
{
    const double p1 = lat1 * kRadians, p2 = lat2 * kRadians;
    const double dp = p2 - p1, dl = (lon2 - lon1) * kRadians;
    const double a = std::sin(dp / 2) * std::sin(dp / 2) + std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
    const double c = 2 * std::atan2(std::sqrt(a), std::sqrt(std::max(0.0, 1 - a)));
    return kEarthRadiusKm * c / kKmPerNauticalMile;
}

double bearingDegrees(double lat1, double lon1, double lat2, double lon2)
{
    const double p1 = lat1 * kRadians, p2 = lat2 * kRadians, dl = (lon2 - lon1) * kRadians;
    const double y = std::sin(dl) * std::cos(p2);
    const double x = std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl);
    double b = std::atan2(y, x) / kRadians;
    if (b < 0)
        b += 360;
    return b >= 360 ? 0 : b;
}

namespace detail {

namespace {

constexpr std::size_t kSecondWords = 86400 / 64 + 1;

} // namespace

StationTally::StationTally()
{
    reset();
}

void StationTally::reset()
{
    m_shipCount = 0;
    m_heard.assign(kSecondWords, 0);
    m_heardNonFixed.assign(kSecondWords, 0);
    m_tenMinutes.fill(0);
    m_untimed = 0;
    m_rejected.clear();
    m_pending.clear();
}

void StationTally::addShip(std::string_view mmsi)
{
    if (m_shipCount == m_ships.size())
        m_ships.emplace_back();
    Ship &s = m_ships[m_shipCount++];
    s.kind = mmsiKind(mmsi);
    s.hours = 0;
    s.hasFix = false;
    s.recent = 0;
    s.current = 0;
}

void StationTally::fix(std::size_t ship, Ship &s, std::int32_t second, double lat, double lon, std::uint64_t cell)
{
    const auto reject = [&](Rejection why, double knots) {
        m_rejected.push_back({std::uint32_t(ship), second, lat, lon, why, float(knots)});
    };
    if (!(std::abs(lat) <= 90 && std::abs(lon) <= 180)) [[unlikely]]
        return reject(Rejection::OffGlobe, 0);
    if (second < 0) [[unlikely]]
        return reject(Rejection::NoTime, 0);
    if (s.hasFix) {
        const int dt = std::abs(second - s.fixSecond);
        if (dt <= kSpeedWindow) {
            // Nearly every fix lies well within reach of the last one: the
            // sum of the degrees bounds the great circle, so the
            // trigonometry is needed only for the few near the limit.
            const double reach = kMaxKnots * std::max(dt, 1) / 3600.0;
            const double bound = 60 * (std::abs(lat - s.fixLatitude) + std::abs(lon - s.fixLongitude));
            if (bound > reach) [[unlikely]] {
                const double nm = distanceNm(s.fixLatitude, s.fixLongitude, lat, lon);
                if (nm > reach)
                    return reject(Rejection::TooFast, nm * 3600 / std::max(dt, 1));
            }
        }
    }
    s.hasFix = true;
    s.fixSecond = second;
    s.fixLatitude = lat;
    s.fixLongitude = lon;
    if (s.recent == 0 || s.runs[s.current].cell != cell) [[unlikely]]
        newRun(ship, s, second, cell);
    ++s.runs[s.current].count;
}

// A fix in another cell than the current run's. A ship at anchor wanders back
// and forth over a cell's edge: a cell among its last few runs becomes the
// current one again rather than a new run, so that the runs stay few. A run
// keeps the ship's first fix in it. A run that drops out of the recent ones
// can take no more fixes and is set aside, so that a ship's runs cost no
// allocation of their own.
void StationTally::newRun(std::size_t ship, Ship &s, std::int32_t second, std::uint64_t cell)
{
    constexpr unsigned kRing = kRecentRuns - 1;
    static_assert((kRecentRuns & kRing) == 0, "the recent runs are a ring of a power of two");
    const std::size_t n = s.recent;
    for (std::size_t k = 2; k <= n; ++k) {
        Run &older = s.runs[(s.current + kRecentRuns + 1 - k) & kRing];
        if (older.cell == cell) {
            std::swap(older, s.runs[s.current]);
            return;
        }
    }
    if (n > 0)
        s.current = std::uint8_t((s.current + 1) & kRing);
    if (n < kRecentRuns) {
        ++s.recent;
    } else {
        const Run &old = s.runs[s.current];
        m_pending.push_back({old.cell, std::uint64_t(std::uint32_t(old.second)) << 32 | ship, old.count});
    }
    s.runs[s.current] = {cell, 0, second};
}

Hearing StationTally::hearing(const std::vector<std::uint64_t> &seconds)
{
    Hearing h;
    std::int32_t previous = -1;
    for (std::size_t w = 0; w < seconds.size(); ++w) {
        const std::uint64_t word = seconds[w];
        if (!word)
            continue;
        const auto base = std::int32_t(w * 64);
        const int low = std::countr_zero(word), high = 63 - std::countl_zero(word);
        // Two seconds of one word can lie a gap apart only when its first and
        // last do: a station hears something every few seconds, so nearly
        // every word is taken whole rather than bit by bit.
        if (high - low < kShortestGap) {
            if (previous < 0)
                h.first = base + low;
            else if (base + low - previous >= kShortestGap)
                h.gaps.emplace_back(previous, base + low);
            previous = base + high;
            continue;
        }
        for (std::uint64_t bits = word; bits; bits &= bits - 1) {
            const std::int32_t second = base + std::countr_zero(bits);
            if (previous < 0)
                h.first = second;
            else if (second - previous >= kShortestGap)
                h.gaps.emplace_back(previous, second);
            previous = second;
        }
    }
    h.last = previous;
    return h;
}

StationDay StationTally::take(const std::vector<std::uint32_t> &order, std::vector<std::uint32_t> &hours)
{
    StationDay d;
    d.tenMinutes = m_tenMinutes;
    d.untimed = m_untimed;
    d.all = hearing(m_heard);
    d.nonFixed = hearing(m_heardNonFixed);
    for (std::size_t i = 0; i < m_shipCount; ++i)
        hours[order[i]] = m_ships[i].hours;
    rangeOf(order, d.range);
    d.rejected = m_rejected;
    for (RejectedFix &r : d.rejected)
        r.ship = order[r.ship];
    reset();
    return d;
}

// The runs of every ship merged by cell. A cell's example is its earliest fix
// (the lowest ship on a tie), so that the figures do not hang on the order of
// the table: only the lowest (second, ship) of a cell matters, so the runs
// need no order among themselves.
void StationTally::rangeOf(const std::vector<std::uint32_t> &order, std::vector<RangeCell> &range)
{
    // The rows and columns the cells span, taken along.
    std::uint32_t top = UINT32_MAX, bottom = 0, left = UINT32_MAX, right = 0;
    const auto span = [&](std::uint64_t cell) {
        const auto row = std::uint32_t(cell >> 32), column = std::uint32_t(cell);
        top = std::min(top, row);
        bottom = std::max(bottom, row);
        left = std::min(left, column);
        right = std::max(right, column);
    };
    for (Pending &p : m_pending) {
        p.first = (p.first >> 32 << 32) | order[std::uint32_t(p.first)];
        span(p.cell);
    }
    for (std::size_t i = 0; i < m_shipCount; ++i) {
        const std::uint64_t ship = order[i];
        const Ship &s = m_ships[i];
        // A run starts at a fix with a time: its second is never negative.
        for (const Run &r : std::span(s.runs, s.recent)) {
            m_pending.push_back({r.cell, std::uint64_t(std::uint32_t(r.second)) << 32 | ship, r.count});
            span(r.cell);
        }
    }
    range.clear();
    if (m_pending.empty())
        return;
    const std::uint64_t rows = std::uint64_t(bottom - top) + 1, columns = std::uint64_t(right - left) + 1;
    if (rows <= kGridCells && columns <= kGridCells && rows * columns <= kGridCells)
        rangeByGrid(top, left, std::size_t(rows), std::size_t(columns), range);
    else
        rangeBySort(range);
}

// A station hears one corner of the globe: its cells mostly fit a small
// grid, where each run adds to its cell in place and the cells in use come
// out in order by a walk over their bits.
void StationTally::rangeByGrid(std::uint32_t top, std::uint32_t left, std::size_t rows, std::size_t columns,
                               std::vector<RangeCell> &range)
{
    const std::size_t cells = rows * columns;
    if (m_grid.size() < cells) {
        m_grid.resize(cells);
        m_gridUsed.resize(cells / 64 + 1);
    }
    GridCell *grid = m_grid.data();
    std::uint64_t *used = m_gridUsed.data();
    const auto place = [&](std::uint64_t cell) {
        return std::size_t(std::uint32_t(cell >> 32) - top) * columns + (std::uint32_t(cell) - left);
    };
    // The grid is cold and its cells come in no order: each is asked for a
    // few runs ahead.
    constexpr std::size_t kAhead = 8;
    const std::size_t runs = m_pending.size();
    for (std::size_t i = 0; i < runs; ++i) {
        if (i + kAhead < runs)
            __builtin_prefetch(&grid[place(m_pending[i + kAhead].cell)]);
        const Pending &p = m_pending[i];
        const std::size_t at = place(p.cell);
        const std::uint64_t bit = 1ull << (at & 63);
        GridCell &g = grid[at];
        if (!(used[at >> 6] & bit)) {
            used[at >> 6] |= bit;
            g = {p.first, p.count};
        } else {
            g.first = std::min(g.first, p.first);
            g.count += p.count;
        }
    }
    std::size_t inUse = 0;
    const std::size_t words = cells / 64 + 1;
    for (std::size_t w = 0; w < words; ++w)
        inUse += std::size_t(std::popcount(used[w]));
    range.reserve(inUse);
    for (std::size_t w = 0; w < words; ++w) {
        for (std::uint64_t bits = std::exchange(used[w], 0); bits; bits &= bits - 1) {
            const std::size_t at = w * 64 + std::size_t(std::countr_zero(bits));
            const std::uint64_t cell = std::uint64_t(top + at / columns) << 32 | (left + at % columns);
            const GridCell &g = grid[at];
            range.push_back({cell, g.count, std::uint32_t(g.first), std::int32_t(g.first >> 32)});
        }
    }
}

// Runs spread wide (a position far off that still passed the rules) are
// sorted by cell instead, by a least-significant-digit radix sort in a few
// linear passes: its digits are taken where cells differ at all.
void StationTally::rangeBySort(std::vector<RangeCell> &range)
{
    m_sorted.clear();
    std::uint64_t varying = 0; // the bits in which any cell differs from the first
    for (const Pending &p : m_pending) {
        varying |= p.cell ^ m_pending.front().cell;
        m_sorted.push_back({p.cell, std::uint32_t(m_sorted.size())});
    }
    constexpr int kDigitBits = 11;
    m_sortedToo.resize(m_sorted.size());
    Sorted *from = m_sorted.data(), *to = m_sortedToo.data();
    const std::size_t n = m_sorted.size();
    for (int shift = 0; shift < 64 && (varying >> shift); shift += kDigitBits) {
        shift += std::countr_zero(varying >> shift);
        std::array<std::uint32_t, 1 << kDigitBits> counts{};
        const auto digit = [shift](const Sorted &x) { return std::size_t(x.cell >> shift) & ((1 << kDigitBits) - 1); };
        for (const Sorted &x : std::span(from, n))
            ++counts[digit(x)];
        std::uint32_t start = 0;
        for (std::uint32_t &n : counts)
            start += std::exchange(n, start);
        for (const Sorted &x : std::span(from, n))
            to[counts[digit(x)]++] = x;
        std::swap(from, to);
    }
    m_range.clear();
    for (const Sorted &x : std::span(from, n)) {
        const Pending &p = m_pending[x.run];
        if (!m_range.empty() && m_range.back().cell == p.cell) {
            RangeCell &c = m_range.back();
            c.count += p.count;
            const std::uint64_t first = std::uint64_t(std::uint32_t(c.second)) << 32 | c.ship;
            if (p.first < first) {
                c.ship = std::uint32_t(p.first);
                c.second = std::int32_t(p.first >> 32);
            }
        } else {
            m_range.push_back({p.cell, p.count, std::uint32_t(p.first), std::int32_t(p.first >> 32)});
        }
    }
    range.assign(m_range.begin(), m_range.end());
}

} // namespace detail

} // namespace Module1

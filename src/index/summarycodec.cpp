#include "index/summarycodec.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace Index {

using Module1::DaySummary;
using Module1::ShipSummary;

namespace {

// VDS4: the checksum of VDS3 (FNV-1a, one byte at a time) was most of the
// time a warm year's pass took on days of many ships and cells.
constexpr char kMagic[4] = {'V', 'D', 'S', '4'};

// Into the QByteArray that is the result, through a pointer: a day's summary
// is thousands of single bytes and small fixed-size numbers, and each write
// then costs a store or two and one check for room, where a QByteArray's
// appends cost a call each. The buffer is sized from the summary up front, so
// that a day of many ships is neither copied on growing nor at the end.
class Writer
{
public:
    explicit Writer(std::size_t estimate) { grow(estimate); }

    const char *data() const { return m_bytes.constData(); }
    std::size_t size() const { return std::size_t(m_at - m_bytes.data()); }
    QByteArray take()
    {
        m_bytes.truncate(qsizetype(size()));
        return std::move(m_bytes);
    }

    void bytes(const char *data, std::size_t size)
    {
        room(size);
        std::memcpy(m_at, data, size);
        m_at += size;
    }
    template <typename T>
    void raw(T value)
    {
        room(sizeof(T));
        m_at = putRaw(m_at, value);
    }
    void text(const std::string &s)
    {
        room(4 + std::max<std::size_t>(s.size(), 16));
        m_at = putText(m_at, s);
    }
    void varint(std::uint64_t v)
    {
        room(kMaxVarint);
        m_at = put(m_at, v);
    }
    void signedVarint(std::int64_t v) { varint(zigzag(v)); }
    // One ship, with one check for room.
    void ship(const Module1::ShipSummary &s)
    {
        room(4 + std::max<std::size_t>(s.mmsi.size(), 16) + 8 + 4 * 8 + 4 + std::max<std::size_t>(s.lastName.size(), 16) +
             4 + s.cells.size() * 2 * kMaxStep + kMaxVarint);
        char *at = putText(m_at, s.mmsi);
        at = putRaw(at, std::int64_t(s.records));
        at = putRaw(at, s.minLatitude);
        at = putRaw(at, s.maxLatitude);
        at = putRaw(at, s.minLongitude);
        at = putRaw(at, s.maxLongitude);
        at = putText(at, s.lastName);
        // Cells as steps from the previous one: a day's track moves a cell or
        // two at a time, so most take two bytes.
        at = putRaw(at, std::uint32_t(s.cells.size()));
        std::int64_t lat = 0, lon = 0;
        for (std::uint64_t cell : s.cells) {
            const std::int64_t la = Module1::cellLatitude(cell), lo = Module1::cellLongitude(cell);
            at = put(at, zigzag(la - lat));
            at = put(at, zigzag(lo - lon));
            lat = la;
            lon = lo;
        }
        m_at = put(at, s.hours);
    }
    // The range's cells, each a step from the previous one and its figures.
    void range(const std::vector<Module1::RangeCell> &range)
    {
        varint(range.size());
        constexpr std::size_t kMaxCell = 2 * kMaxStep + 3 * kMaxVarint;
        char *at = m_at;
        std::int64_t lat = 0, lon = 0;
        for (const Module1::RangeCell &c : range) {
            if (std::size_t(m_end - at) < kMaxCell) [[unlikely]] {
                m_at = at;
                room(kMaxCell);
                at = m_at;
            }
            const std::int64_t la = Module1::cellLatitude(c.cell), lo = Module1::cellLongitude(c.cell);
            at = put(at, zigzag(la - lat));
            at = put(at, zigzag(lo - lon));
            lat = la;
            lon = lo;
            at = put(at, c.count);
            at = put(at, c.ship);
            at = put(at, std::uint64_t(c.second));
        }
        m_at = at;
    }

    static constexpr std::size_t kMaxVarint = 10;
    // A step between two cells' rows or columns: 33 bits, zigzagged 34.
    static constexpr std::size_t kMaxStep = 5;

private:
    static std::uint64_t zigzag(std::int64_t v) { return (std::uint64_t(v) << 1) ^ std::uint64_t(v >> 63); }
    // Writes where room has been made, each returning where the next goes:
    // through a local pointer rather than m_at, which a store of a char
    // could change as far as the compiler knows, so that it would be loaded
    // and stored again around every byte. A varint, or a fixed-size number.
    static char *put(char *at, std::uint64_t v)
    {
        // Steps, counts, ships and seconds of a day take one to three bytes:
        // those without a loop.
        if (v < 1u << 7) {
            *at = char(v);
            return at + 1;
        }
        if (v < 1u << 14) {
            at[0] = char(v | 0x80);
            at[1] = char(v >> 7);
            return at + 2;
        }
        if (v < 1u << 21) {
            at[0] = char(v | 0x80);
            at[1] = char(v >> 7 | 0x80);
            at[2] = char(v >> 14);
            return at + 3;
        }
        for (; v >= 0x80; v >>= 7)
            *at++ = char(v | 0x80);
        *at++ = char(v);
        return at;
    }
    template <typename T>
    static char *putRaw(char *at, T value)
    {
        char bytes[sizeof(T)];
        std::memcpy(bytes, &value, sizeof(T));
        if constexpr (std::endian::native == std::endian::big)
            std::reverse(bytes, bytes + sizeof(T));
        std::memcpy(at, bytes, sizeof(T));
        return at + sizeof(T);
    }
    // Room for max(size, 16) bytes after the length: mostly an MMSI and an
    // empty name, copied as 16 bytes at once. A std::string's buffer always
    // holds at least 16 (its small-string room or more).
    static char *putText(char *at, const std::string &s)
    {
        at = putRaw(at, std::uint32_t(s.size()));
        if (s.size() <= 16)
            std::memcpy(at, s.data(), 16);
        else
            std::memcpy(at, s.data(), s.size());
        return at + s.size();
    }
    void room(std::size_t n)
    {
        if (std::size_t(m_end - m_at) < n) [[unlikely]]
            grow(n);
    }
    void grow(std::size_t n)
    {
        const std::size_t used = m_bytes.isNull() ? 0 : size();
        const std::size_t capacity = std::max(2 * std::size_t(m_bytes.size()), used + n);
        m_bytes.resize(qsizetype(capacity));
        m_at = m_bytes.data() + used;
        m_end = m_bytes.data() + capacity;
    }

    QByteArray m_bytes;
    char *m_at = nullptr;
    char *m_end = nullptr;
};

class Reader
{
public:
    Reader(const char *data, std::size_t size) : m_data(data), m_size(size) {}

    template <typename T>
    bool raw(T *value)
    {
        if (m_size - m_pos < sizeof(T))
            return false;
        char bytes[sizeof(T)];
        std::memcpy(bytes, m_data + m_pos, sizeof(T));
        if constexpr (std::endian::native == std::endian::big)
            std::reverse(bytes, bytes + sizeof(T));
        std::memcpy(value, bytes, sizeof(T));
        m_pos += sizeof(T);
        return true;
    }
    bool text(std::string *s)
    {
        std::uint32_t n = 0;
        if (!raw(&n) || m_size - m_pos < n)
            return false;
        s->assign(m_data + m_pos, n);
        m_pos += n;
        return true;
    }
    bool varint(std::uint64_t *value)
    {
        std::uint64_t v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (m_pos == m_size)
                return false;
            const auto byte = static_cast<unsigned char>(m_data[m_pos++]);
            v |= std::uint64_t(byte & 0x7f) << shift;
            if (!(byte & 0x80)) {
                *value = v;
                return true;
            }
        }
        return false;
    }
    bool cells(std::vector<std::uint64_t> *cells)
    {
        std::uint32_t n = 0;
        // Every cell takes at least two bytes.
        if (!raw(&n) || n > left() / 2)
            return false;
        cells->resize(n);
        std::int64_t lat = 0, lon = 0;
        for (std::uint32_t i = 0; i < n; ++i) {
            std::uint64_t dLat = 0, dLon = 0;
            if (!varint(&dLat) || !varint(&dLon) || dLat > (1ull << 34) || dLon > (1ull << 34))
                return false;
            lat += std::int64_t(dLat >> 1) ^ -std::int64_t(dLat & 1);
            lon += std::int64_t(dLon >> 1) ^ -std::int64_t(dLon & 1);
            if (lat < INT32_MIN || lat > INT32_MAX || lon < INT32_MIN || lon > INT32_MAX)
                return false;
            (*cells)[i] = Module1::cellKey(std::int32_t(lat), std::int32_t(lon));
            // Strictly ascending, as the decisions' searches need.
            if (i > 0 && !((*cells)[i - 1] < (*cells)[i]))
                return false;
        }
        return true;
    }
    bool atEnd() const { return m_pos == m_size; }
    std::size_t left() const { return m_size - m_pos; }

private:
    const char *m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// The station's figures: mostly small counts and seconds, as varints.
void hearing(Writer &w, const Module1::Hearing &h)
{
    w.signedVarint(h.first);
    w.signedVarint(h.last);
    w.varint(h.gaps.size());
    for (const auto &[a, b] : h.gaps) {
        w.varint(std::uint64_t(a));
        w.varint(std::uint64_t(b - a));
    }
}

void station(Writer &w, const Module1::StationDay &s)
{
    for (std::uint32_t c : s.tenMinutes)
        w.varint(c);
    w.varint(s.untimed);
    hearing(w, s.all);
    hearing(w, s.nonFixed);
    w.range(s.range);
    w.varint(s.rejected.size());
    for (const Module1::RejectedFix &x : s.rejected) {
        w.varint(x.ship);
        w.signedVarint(x.second);
        w.raw(x.latitude);
        w.raw(x.longitude);
        w.raw(std::uint8_t(x.reason));
        w.raw(x.knots);
    }
}

bool hearing(Reader &r, Module1::Hearing &h)
{
    std::uint64_t first = 0, last = 0, n = 0;
    if (!r.varint(&first) || !r.varint(&last) || !r.varint(&n) || n > r.left() / 2)
        return false;
    const auto second = [](std::uint64_t z) { return std::int64_t(z >> 1) ^ -std::int64_t(z & 1); };
    h.first = std::int32_t(second(first));
    h.last = std::int32_t(second(last));
    if (h.first < -1 || h.first >= 86400 || h.last < -1 || h.last >= 86400)
        return false;
    h.gaps.resize(n);
    for (auto &[a, b] : h.gaps) {
        std::uint64_t start = 0, length = 0;
        if (!r.varint(&start) || !r.varint(&length) || start >= 86400 || length > 86400 || start + length >= 86400)
            return false;
        a = std::int32_t(start);
        b = std::int32_t(start + length);
    }
    return true;
}

bool station(Reader &r, Module1::StationDay &s, std::size_t ships)
{
    for (std::uint32_t &c : s.tenMinutes) {
        std::uint64_t v = 0;
        if (!r.varint(&v) || v > UINT32_MAX)
            return false;
        c = std::uint32_t(v);
    }
    std::uint64_t v = 0;
    if (!r.varint(&v) || v > UINT32_MAX || !hearing(r, s.all) || !hearing(r, s.nonFixed))
        return false;
    s.untimed = std::uint32_t(v);
    std::uint64_t n = 0;
    // Every cell takes at least five bytes.
    if (!r.varint(&n) || n > r.left() / 5)
        return false;
    s.range.resize(n);
    std::int64_t lat = 0, lon = 0;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint64_t dLat = 0, dLon = 0, count = 0, ship = 0, second = 0;
        if (!r.varint(&dLat) || !r.varint(&dLon) || dLat > (1ull << 34) || dLon > (1ull << 34) || !r.varint(&count) ||
            !r.varint(&ship) || !r.varint(&second) || count > UINT32_MAX || ship >= ships || second >= 86400)
            return false;
        lat += std::int64_t(dLat >> 1) ^ -std::int64_t(dLat & 1);
        lon += std::int64_t(dLon >> 1) ^ -std::int64_t(dLon & 1);
        if (lat < INT32_MIN || lat > INT32_MAX || lon < INT32_MIN || lon > INT32_MAX)
            return false;
        s.range[i] = {Module1::cellKey(std::int32_t(lat), std::int32_t(lon)), std::uint32_t(count), std::uint32_t(ship),
                      std::int32_t(second)};
        if (i > 0 && !(s.range[i - 1].cell < s.range[i].cell))
            return false;
    }
    if (!r.varint(&n) || n > r.left() / 22)
        return false;
    s.rejected.resize(n);
    for (Module1::RejectedFix &x : s.rejected) {
        std::uint64_t ship = 0, second = 0;
        std::uint8_t reason = 0;
        if (!r.varint(&ship) || ship >= ships || !r.varint(&second) || !r.raw(&x.latitude) || !r.raw(&x.longitude) ||
            !r.raw(&reason) || reason > 2 || !r.raw(&x.knots))
            return false;
        x.ship = std::uint32_t(ship);
        x.second = std::int32_t(std::int64_t(second >> 1) ^ -std::int64_t(second & 1));
        if (x.second < -1 || x.second >= 86400)
            return false;
        x.reason = Module1::Rejection(reason);
    }
    return true;
}

} // namespace

std::uint64_t summaryChecksum(const char *data, std::size_t size)
{
    // Four lanes of 8-byte words, each a multiply-and-rotate chain of its own
    // so that the processor runs them side by side: a byte's change changes
    // its lane's end (each step is a bijection of the lane), and the lanes'
    // combination keeps that.
    constexpr std::uint64_t kPrime = 0x9E3779B97F4A7C15ull, kPrime2 = 0xC2B2AE3D27D4EB4Full;
    const auto word = [data](std::size_t at) {
        std::uint64_t w;
        std::memcpy(&w, data + at, 8);
        if constexpr (std::endian::native == std::endian::big)
            w = __builtin_bswap64(w);
        return w;
    };
    std::uint64_t lane[4] = {kPrime, kPrime2, ~kPrime, ~kPrime2};
    std::size_t i = 0;
    for (; i + 32 <= size; i += 32) {
        for (int k = 0; k < 4; ++k)
            lane[k] = std::rotl((lane[k] ^ word(i + 8 * std::size_t(k))) * kPrime, 31) * kPrime2;
    }
    std::uint64_t h = std::uint64_t(size) * kPrime;
    for (std::uint64_t l : lane)
        h = std::rotl((h ^ l) * kPrime2, 27) * kPrime;
    for (; i < size; ++i)
        h = (h ^ static_cast<unsigned char>(data[i])) * 1099511628211ull;
    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    return h;
}

namespace {

// Enough room for a summary as a rule, so that the buffer is made once: what
// it takes as a rule, an eighth more, and the most any one write checks for.
std::size_t sizeEstimate(const DaySummary &d)
{
    std::size_t size = 64 + d.firstTime.size() + d.lastTime.size() + d.name.size() + d.longitude.size() +
                       d.latitude.size() + d.speed.size();
    std::size_t largest = 0;
    for (const ShipSummary &s : d.ships) {
        size += 64 + s.mmsi.size() + s.lastName.size() + s.cells.size() * 3;
        largest = std::max(largest, s.mmsi.size() + s.lastName.size() + s.cells.size() * 2 * Writer::kMaxStep);
    }
    const Module1::StationDay &st = d.station;
    size += 144 * 2 + 64 + (st.all.gaps.size() + st.nonFixed.gaps.size()) * 6 + st.range.size() * 12 +
            st.rejected.size() * 30;
    return size + size / 8 + largest + 128;
}

} // namespace

QByteArray encodeSummary(const DaySummary &d)
{
    Writer w(sizeEstimate(d));
    w.bytes(kMagic, 4);
    w.raw(std::uint32_t(Module1::kSummaryRules));
    w.raw(std::uint8_t((d.hasItems ? 1 : 0) | (d.setsTime ? 2 : 0) | (d.firstTimeReplaced ? 4 : 0) |
                       (d.lastTimeReplaced ? 8 : 0)));
    for (const std::string *s : {&d.firstTime, &d.lastTime, &d.name, &d.longitude, &d.latitude, &d.speed})
        w.text(*s);
    w.raw(std::uint32_t(d.ships.size()));
    for (const ShipSummary &s : d.ships)
        w.ship(s);
    station(w, d.station);
    w.raw(summaryChecksum(w.data(), w.size()));
    return w.take();
}

std::unique_ptr<DaySummary> decodeSummary(const QByteArray &bytes)
{
    const std::size_t size = std::size_t(bytes.size());
    if (size < 4 + 8 || std::memcmp(bytes.constData(), kMagic, 4) != 0)
        return nullptr;
    Reader tail(bytes.constData() + size - 8, 8);
    std::uint64_t stored = 0;
    if (!tail.raw(&stored) || stored != summaryChecksum(bytes.constData(), size - 8))
        return nullptr;

    auto d = std::make_unique<DaySummary>();
    Reader r(bytes.constData() + 4, size - 4 - 8);
    std::uint32_t rules = 0;
    std::uint8_t flags = 0;
    std::uint32_t count = 0;
    // A summary made by other reading rules would answer for a file with
    // numbers a read no longer gives.
    if (!r.raw(&rules) || rules != std::uint32_t(Module1::kSummaryRules) || !r.raw(&flags) || flags > 15)
        return nullptr;
    d->hasItems = flags & 1;
    d->setsTime = flags & 2;
    d->firstTimeReplaced = flags & 4;
    d->lastTimeReplaced = flags & 8;
    for (std::string *s : {&d->firstTime, &d->lastTime, &d->name, &d->longitude, &d->latitude, &d->speed}) {
        if (!r.text(s))
            return nullptr;
    }
    // Every ship takes at least 52 bytes: a count beyond that is damage, not a reason to allocate.
    if (!r.raw(&count) || count > r.left() / 52)
        return nullptr;
    d->ships.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        ShipSummary &s = d->ships[i];
        std::int64_t records = 0;
        if (!r.text(&s.mmsi) || !r.raw(&records) || !r.raw(&s.minLatitude) || !r.raw(&s.maxLatitude) ||
            !r.raw(&s.minLongitude) || !r.raw(&s.maxLongitude) || !r.text(&s.lastName) || !r.cells(&s.cells))
            return nullptr;
        std::uint64_t hours = 0;
        if (!r.varint(&hours) || hours >= (1u << 24))
            return nullptr;
        s.hours = std::uint32_t(hours);
        s.records = records;
        // Lookups search the ships by MMSI, so the order must hold.
        if (i > 0 && !(d->ships[i - 1].mmsi < s.mmsi))
            return nullptr;
    }
    if (!station(r, d->station, d->ships.size()) || !r.atEnd())
        return nullptr;
    return d;
}

} // namespace Index

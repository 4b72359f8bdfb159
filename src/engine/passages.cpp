#include "engine/passages.h"

#include "engine/dayindex.h"
#include "engine/internal.h"
#include "engine/module1.h"
#include "engine/numbers.h"
#include "engine/text.h"
#include "platform/files.h"


#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <unordered_map>

namespace Module1 {

using namespace detail;

namespace {

const QString kPassagesMode = QStringLiteral("Passages");
constexpr double kPi = 3.14159265358979323846;
constexpr double kEarthNauticalMiles = 3440.065;

// Seconds of the day of an "HH:MM:SS" on a real clock, else -1.
int clockSeconds(const std::string &t)
{
    if (t.size() != 8 || t[2] != ':' || t[5] != ':')
        return -1;
    for (const int i : {0, 1, 3, 4, 6, 7}) {
        if (t[i] < '0' || t[i] > '9')
            return -1;
    }
    const auto two = [&](int i) { return (t[i] - '0') * 10 + (t[i + 1] - '0'); };
    if (two(0) > 23 || two(3) > 59 || two(6) > 59)
        return -1;
    return two(0) * 3600 + two(3) * 60 + two(6);
}

// holdsNumber, answered at once for the receiver's usual texts.
bool holdsNumberQuick(const std::string &text)
{
    return (!text.empty() && static_cast<unsigned>(text[0] - '0') < 10) || holdsNumber(text);
}

// Copied two or three times for every record: kept to 56 bytes.
struct Fix
{
    double latitude = 0, longitude = 0;
    long long time = 0;     // seconds on one running clock across the day logs
    long long order = 0;    // log order within the pass
    double speed = 0;       // when hasSpeed
    int seconds = -1;       // of the day, -1 for a stand-in
    int fileIndex = 0;      // into Tracker::m_files
    bool timed = false;     // false: the reader's stand-in, timed as the log's last real time
    bool hasSpeed = false;  // read only for a fix inside a square
    std::uint8_t inside = 0; // bit k: inside area k
};

double distanceNm(const Fix &a, const Fix &b)
{
    const double rad = kPi / 180;
    const double dLat = (b.latitude - a.latitude) * rad;
    const double dLon = (b.longitude - a.longitude) * rad;
    const double h = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(a.latitude * rad) * std::cos(b.latitude * rad) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * kEarthNauticalMiles * std::asin(std::min(1.0, std::sqrt(h)));
}

// The mean of two speeds as the decimal it is: the speeds are decimals read
// from the log, and halving their binary sum shows 13.6 and 13.7 as
// 13.649999999999999. Fifteen significant digits hold any mean of two such
// speeds exactly and drop that noise.
double midpoint(double a, double b)
{
    const double mean = (a + b) / 2;
    char text[32];
    const std::to_chars_result written = std::to_chars(text, text + sizeof text, mean, std::chars_format::general, 15);
    double out = mean;
    std::from_chars(text, written.ptr, out);
    return out;
}

double bearingDegrees(const Fix &a, const Fix &b)
{
    const double rad = kPi / 180;
    const double y = std::sin((b.longitude - a.longitude) * rad) * std::cos(b.latitude * rad);
    const double x = std::cos(a.latitude * rad) * std::sin(b.latitude * rad) -
                     std::sin(a.latitude * rad) * std::cos(b.latitude * rad) * std::cos((b.longitude - a.longitude) * rad);
    const double degrees = std::atan2(y, x) / rad;
    return std::fmod(degrees + 360, 360);
}

// The side by which the line from `outside` to `inside` crosses into the
// square: of the bounds it is beyond, the one it crosses last.
Side sideCrossed(const Fix &outside, const Fix &inside, const Square &q)
{
    Side side = '-';
    double best = -1;
    const auto consider = [&](double from, double to, double bound, Side s) {
        const double t = from == to ? 0 : (bound - from) / (to - from);
        if (t > best) {
            best = t;
            side = s;
        }
    };
    if (outside.latitude > q.latHigh)
        consider(outside.latitude, inside.latitude, q.latHigh, 'N');
    if (outside.latitude < q.latLow)
        consider(outside.latitude, inside.latitude, q.latLow, 'S');
    if (outside.longitude > q.lonHigh)
        consider(outside.longitude, inside.longitude, q.lonHigh, 'E');
    if (outside.longitude < q.lonLow)
        consider(outside.longitude, inside.longitude, q.lonLow, 'W');
    return side;
}

struct Open
{
    bool active = false;
    Passage passage;
    Fix first, last;
    std::vector<double> speeds;
    long long slowSince = -1; // the time the current run below 0.5 kn began
    long long order = 0;
};

struct Ship
{
    bool hasPending = false, hasBefore = false, hasLast = false;
    std::uint8_t opened = 0; // bit k: open[k].active
    Fix pending;  // the newest fix, until the next one tells whether it is plausible
    Fix before;   // the fix before it, plausible or not
    Fix last;     // the last fix taken
    std::string mmsi, name;
    std::array<Open, 3> open;
};

// The ships by MMSI, looked up for every record. A nine-digit MMSI, what
// the receiver writes, is its own bytes as one integer key in an
// open-addressed table; anything else goes to a map of texts.
class ShipTable
{
public:
    ShipTable() : m_slots(4096), m_shift(64 - 12) {}

    Ship &operator[](const std::string &mmsi)
    {
        const std::uint64_t key = keyOf(mmsi);
        if (key != 0) [[likely]] {
            for (std::size_t i = slotOf(key);; i = (i + 1) & (m_slots.size() - 1)) {
                const Slot &slot = m_slots[i];
                if (slot.key == key) [[likely]]
                    return *slot.ship;
                if (slot.key == 0)
                    return addAt(i, key, mmsi);
            }
        }
        Ship *&ship = m_byText[mmsi];
        if (!ship)
            ship = &add(mmsi);
        return *ship;
    }

    std::deque<Ship>::iterator begin() { return m_ships.begin(); }
    std::deque<Ship>::iterator end() { return m_ships.end(); }
    std::deque<Ship>::const_iterator begin() const { return m_ships.begin(); }
    std::deque<Ship>::const_iterator end() const { return m_ships.end(); }

private:
    struct Slot
    {
        std::uint64_t key = 0; // 0 is a free slot
        Ship *ship = nullptr;
    };

    // For nine ASCII digits: the first eight bytes as they are, with the
    // ninth digit's value in place of the eighth byte's high half (always 3
    // in a digit), else 0. No digit byte is 0, so neither is a key. Tested
    // eight bytes at once: a loop over the digits cost more than the rest of
    // the lookup.
    static std::uint64_t keyOf(const std::string &mmsi)
    {
        if (mmsi.size() != 9)
            return 0;
        std::uint64_t word;
        std::memcpy(&word, mmsi.data(), 8);
        const unsigned ninth = unsigned(static_cast<unsigned char>(mmsi[8])) - '0';
        constexpr std::uint64_t kOnes = 0x0101010101010101ull;
        constexpr std::uint64_t kHigh = kOnes * 0xF0;
        // Every byte 0x30 to 0x39: its high half 3, and still 3 after adding
        // 6 (no byte can carry into the next once the first test holds).
        if (((word & kHigh) != kOnes * 0x30) | (((word + kOnes * 6) & kHigh) != kOnes * 0x30) | (ninth > 9))
            return 0;
        return (word & ~(0xF0ull << 56)) | (std::uint64_t(ninth) << 60);
    }
    std::size_t slotOf(std::uint64_t key) const { return std::size_t((key * 0x9E3779B97F4A7C15ull) >> m_shift); }
    Ship &add(const std::string &mmsi)
    {
        m_ships.emplace_back();
        m_ships.back().mmsi = mmsi;
        return m_ships.back();
    }
    Ship &addAt(std::size_t slot, std::uint64_t key, const std::string &mmsi)
    {
        Ship &ship = add(mmsi);
        m_slots[slot] = {key, &ship};
        if (m_ships.size() * 2 > m_slots.size())
            grow();
        return ship;
    }
    void grow()
    {
        std::vector<Slot> old(m_slots.size() * 2);
        old.swap(m_slots);
        --m_shift;
        for (const Slot &slot : old) {
            if (slot.key == 0)
                continue;
            std::size_t i = slotOf(slot.key);
            while (m_slots[i].key != 0)
                i = (i + 1) & (m_slots.size() - 1);
            m_slots[i] = slot;
        }
    }

    std::deque<Ship> m_ships; // never moved: the passes keep references
    std::vector<Slot> m_slots;
    int m_shift;              // 64 minus the bits of the slots' count
    std::unordered_map<std::string, Ship *> m_byText;
};

class Tracker
{
public:
    explicit Tracker(const PassageOptions &options)
        : m_options(options), m_gapSeconds(std::min(options.gapMinutes, kMaxGapMinutes) * 60LL)
    {
    }

    void take(const QString &fileName)
    {
        // The reader hands the same string for a whole file.
        if (fileName.constData() != m_fileName.constData() && fileName != m_fileName)
            beginFile(fileName);
        Ship &ship = m_ships[record.recMmsi];
        if (!record.recName.empty())
            ship.name = record.recName;
        // The matcher's numbers, which the day index's summary takes as well.
        const double lon = g_workerPosition.known ? g_workerPosition.longitude : positionNumber(record.recLongitude);
        const double lat = g_workerPosition.known ? g_workerPosition.latitude : positionNumber(record.recLatitude);
        g_position = {true, lat, lon};
        if (!holdsNumberQuick(record.recLongitude) || !holdsNumberQuick(record.recLatitude))
            return;
        Fix f;
        f.latitude = lat;
        f.longitude = lon;
        f.seconds = g_timeReplaced ? -1 : secondsOf(record.recTime);
        f.timed = f.seconds >= 0;
        if (f.timed)
            m_lastSeconds = f.seconds;
        f.time = m_day * 86400 + (f.timed ? f.seconds : m_lastSeconds);
        f.fileIndex = int(m_files.size()) - 1;
        for (int k = 0; k < 3; ++k) {
            const Square q = squareOf(g_criteria, k);
            m_squares[std::size_t(k)] = q;
            if (g_criteria.areaOn[k] && q.lonLow <= lon && lon <= q.lonHigh && q.latLow <= lat && lat <= q.latHigh)
                f.inside |= std::uint8_t(1u << k);
        }
        // Only a fix inside a square counts its speed.
        if (f.inside && !record.recSpeed.empty()) {
            f.speed = leadingDecimal(record.recSpeed);
            f.hasSpeed = true;
        }
        f.order = m_order++;
        arrive(ship, f);
    }

    bool holdsOpenInto(const QString &fileName, const DaySummary &day) const
    {
        // A log without a real date is far from every other; its fixes are
        // judged as if near, which only costs a read.
        const QDate date = QDate::fromString(leftChars(fileName, 8), QStringLiteral("yyyyMMdd"));
        const long long start = date.isValid() ? date.toJulianDay() * 86400 : std::numeric_limits<long long>::min();
        for (const Ship &ship : m_ships) {
            if (!ship.opened && !(ship.hasPending && ship.pending.inside))
                continue;
            // A fix of the log meets the ship's pending fix (is it implausible?)
            // and its last fix taken (silence or not): the day starts later
            // than both are near, or the day does not hear the ship at all.
            const long long latest = std::max(ship.hasPending ? ship.pending.time : ship.last.time,
                                              ship.hasLast ? ship.last.time : ship.pending.time);
            if (latest + m_gapSeconds >= start && day.find(ship.mmsi))
                return true;
        }
        return false;
    }

    bool farApart(const QString &fileName, bool allTimed, std::uint32_t hours, const QString &nextName,
                  bool nextAllTimed, std::uint32_t nextHours) const
    {
        // A record without a time of its own is a fix at the log's last time:
        // then the hours say nothing.
        if (!allTimed || !nextAllTimed || hours == 0 || nextHours == 0)
            return false;
        const QDate date = QDate::fromString(leftChars(fileName, 8), QStringLiteral("yyyyMMdd"));
        const QDate next = QDate::fromString(leftChars(nextName, 8), QStringLiteral("yyyyMMdd"));
        if (!date.isValid() || !next.isValid() || date.daysTo(next) != 1)
            return false;
        const long long latest = (32LL - std::countl_zero(hours)) * 3600 - 1;
        const long long earliest = 86400LL + std::countr_zero(nextHours) * 3600LL;
        return earliest - latest > m_gapSeconds;
    }

    // The day logs of the same date after this one and of the next date,
    // within the period as it stands.
    QStringList neighbourFiles(const QString &fileName) const
    {
        QStringList out;
        const QString date = leftChars(fileName, 8);
        const QDate day = QDate::fromString(date, QStringLiteral("yyyyMMdd"));
        const QString next = day.isValid() ? day.addDays(1).toString(QStringLiteral("yyyyMMdd")) : QString();
        const QString last = g_host->periodLast();
        // Listed when the index first asks: a pass without one has no use for it.
        if (!m_names)
            m_names = Platform::listFiles(logFolder, kLogSuffix);
        for (const QString &name : *m_names) {
            const QString d = leftChars(name, 8);
            if (((d == date && name > fileName) || (!next.isEmpty() && d == next)) && d <= last)
                out << name;
        }
        return out;
    }

    void skipDay(const DaySummary &summary)
    {
        for (const ShipSummary &s : summary.ships) {
            if (s.lastName.empty() || (!g_criteria.mmsi.empty() && s.mmsi != g_criteria.mmsi))
                continue;
            m_ships[s.mmsi].name = s.lastName;
        }
    }

    std::vector<Passage> finish()
    {
        for (Ship &ship : m_ships) {
            if (ship.hasPending) {
                ship.hasPending = false;
                accept(ship, ship.pending);
            }
            for (Open &o : ship.open) {
                if (o.active)
                    close(ship, o, nullptr);
            }
        }
        // Log order of the entries; squares that overlap in the order A, B, C.
        std::sort(m_done.begin(), m_done.end(), [](const auto &a, const auto &b) {
            return a.first != b.first ? a.first < b.first : a.second.area < b.second.area;
        });
        std::vector<Passage> out;
        out.reserve(m_done.size());
        for (auto &[order, p] : m_done) {
            p.name = m_ships[p.mmsi].name;
            out.push_back(std::move(p));
        }
        return out;
    }

private:
    void beginFile(const QString &fileName)
    {
        m_fileName = fileName;
        m_files.push_back(fileName);
        const QDate date = QDate::fromString(leftChars(fileName, 8), QStringLiteral("yyyyMMdd"));
        m_dates.push_back(date);
        // A log without a real date shares no clock with any other: far apart.
        m_day = date.isValid() ? date.toJulianDay() : 1'000'000'000LL + 10LL * (long long)(m_files.size());
        m_lastSeconds = 0;
    }

    // clockSeconds of a record's time. Records follow each other within
    // seconds: when the hour and minute are those of the last time read,
    // only the seconds' digits are left to read.
    int secondsOf(const std::string &time)
    {
        if (time.size() != 8)
            return -1;
        if (m_clockMinute >= 0 && std::memcmp(time.data(), m_clockText, 6) == 0) {
            const char a = time[6], b = time[7];
            if (a < '0' || a > '5' || b < '0' || b > '9')
                return -1;
            return m_clockMinute + (a - '0') * 10 + (b - '0');
        }
        const int seconds = clockSeconds(time);
        std::memcpy(m_clockText, time.data(), 6);
        m_clockMinute = seconds < 0 ? -1 : seconds - seconds % 60;
        return seconds;
    }

    bool near(const Fix &a, const Fix &b) const { return std::llabs(b.time - a.time) <= m_gapSeconds; }

    bool tooFast(const Fix &a, const Fix &b) const
    {
        if (!a.timed || !b.timed || !near(a, b))
            return false;
        const double reach = kImplausibleKnots * double(std::max(1LL, std::llabs(b.time - a.time))) / 3600;
        // Along a meridian and then a parallel is never shorter than the
        // great circle: most fixes are settled by this, without trigonometry.
        if ((std::fabs(b.latitude - a.latitude) + std::fabs(b.longitude - a.longitude)) * 60 <= reach)
            return false;
        return distanceNm(a, b) > reach;
    }

    // A fix is taken once the next one shows it is not a lone implausible jump.
    void arrive(Ship &ship, const Fix &f)
    {
        if (ship.hasPending) {
            const bool implausible = ship.hasBefore && tooFast(ship.before, ship.pending) && tooFast(ship.pending, f);
            if (!implausible)
                accept(ship, ship.pending);
            ship.before = ship.pending;
            ship.hasBefore = true;
        }
        ship.pending = f;
        ship.hasPending = true;
    }

    void accept(Ship &ship, const Fix &f)
    {
        // Most fixes are outside every square, of a ship with nothing open.
        if (!f.inside && !ship.opened) [[likely]] {
            ship.last = f;
            ship.hasLast = true;
            return;
        }
        acceptInOrOpen(ship, f);
    }

    void acceptInOrOpen(Ship &ship, const Fix &f)
    {
        const bool silence = !ship.hasLast || !near(ship.last, f);
        for (int k = 0; k < 3; ++k) {
            Open &o = ship.open[k];
            const bool in = f.inside & (1u << k);
            if (o.active) {
                if (silence)
                    close(ship, o, nullptr);
                else if (!in)
                    close(ship, o, &f);
                else
                    extend(o, f);
            }
            if (!o.active && in) {
                o = Open{};
                o.active = true;
                ship.opened |= std::uint8_t(1u << k);
                o.passage.area = k;
                o.passage.entrySide =
                    silence || (ship.last.inside & (1u << k)) ? '-' : sideCrossed(ship.last, f, m_squares[k]);
                o.first = f;
                o.order = f.order;
                extend(o, f);
            }
        }
        ship.last = f;
        ship.hasLast = true;
    }

    void extend(Open &o, const Fix &f)
    {
        Passage &p = o.passage;
        ++p.fixes;
        o.last = f;
        if (m_options.keepPoints)
            p.points.push_back({f.longitude, f.latitude});
        if (!f.hasSpeed)
            return;
        o.speeds.push_back(f.speed);
        if (f.speed >= kStoppedKnots) {
            o.slowSince = -1;
            return;
        }
        if (o.slowSince < 0)
            o.slowSince = f.time;
        if (f.time - o.slowSince >= kStoppedSeconds)
            p.stopped = true;
    }

    void close(Ship &ship, Open &o, const Fix *after)
    {
        Passage &p = o.passage;
        p.mmsi = ship.mmsi;
        p.entryFile = m_files[std::size_t(o.first.fileIndex)];
        p.exitFile = m_files[std::size_t(o.last.fileIndex)];
        p.entryDate = m_dates[std::size_t(o.first.fileIndex)];
        p.exitDate = m_dates[std::size_t(o.last.fileIndex)];
        p.entrySeconds = o.first.seconds;
        p.exitSeconds = o.last.seconds;
        p.entry = {o.first.longitude, o.first.latitude};
        p.exit = {o.last.longitude, o.last.latitude};
        p.exitSide = after ? sideCrossed(*after, o.last, m_squares[p.area]) : '-';
        if (o.first.latitude != o.last.latitude || o.first.longitude != o.last.longitude)
            p.bearing = bearingDegrees(o.first, o.last);
        if (!o.speeds.empty()) {
            std::vector<double> &v = o.speeds;
            std::sort(v.begin(), v.end());
            p.speedMin = v.front();
            p.speedMax = v.back();
            const std::size_t n = v.size();
            p.speedMedian = n % 2 ? v[n / 2] : midpoint(v[n / 2 - 1], v[n / 2]);
        }
        ship.opened &= std::uint8_t(~(1u << p.area));
        m_done.emplace_back(o.order, std::move(p));
        o = Open{};
    }

    PassageOptions m_options;
    long long m_gapSeconds;
    mutable std::optional<QStringList> m_names; // the folder's day logs
    ShipTable m_ships;
    std::vector<std::pair<long long, Passage>> m_done;
    std::vector<QString> m_files;
    std::vector<QDate> m_dates; // of m_files, from their names
    std::array<Square, 3> m_squares{};
    QString m_fileName;
    long long m_day = 0;
    int m_lastSeconds = 0;
    long long m_order = 0;
    char m_clockText[6] = {};
    int m_clockMinute = -1; // seconds of the day of m_clockText's minute, -1: none
};

Tracker *g_tracker = nullptr;

} // namespace

std::optional<long long> Passage::duration() const
{
    if (entrySeconds < 0 || exitSeconds < 0 || !entryDate.isValid() || !exitDate.isValid())
        return std::nullopt;
    return (exitDate.toJulianDay() - entryDate.toJulianDay()) * 86400 + exitSeconds - entrySeconds;
}

void detail::passageRecord(const QString &fileName)
{
    if (g_tracker)
        g_tracker->take(fileName);
}

bool detail::passagesOpenInto(const QString &fileName, const DaySummary &day)
{
    return g_tracker && g_tracker->holdsOpenInto(fileName, day);
}

bool detail::passagesFarApart(const QString &fileName, bool allTimed, std::uint32_t hours, const QString &nextName,
                              bool nextAllTimed, std::uint32_t nextHours)
{
    return g_tracker && g_tracker->farApart(fileName, allTimed, hours, nextName, nextAllTimed, nextHours);
}

QStringList detail::passagesNeighbourFiles(const QString &fileName)
{
    return g_tracker ? g_tracker->neighbourFiles(fileName) : QStringList();
}

void detail::passagesSkipDay(const DaySummary &summary)
{
    if (g_tracker)
        g_tracker->skipDay(summary);
}

std::vector<Passage> passagesPeriod(const PassageOptions &options, bool *stopped)
{
    Tracker tracker(options);
    g_tracker = &tracker;
    const bool stop = periodPass(kPassagesMode);
    g_tracker = nullptr;
    if (stopped)
        *stopped = stop;
    return tracker.finish();
}

QString areaLetter(int area)
{
    return QString(QLatin1Char(char('A' + area)));
}

namespace {

// "yyyy-MM-dd" of a date in the years 0 to 9999 into `out`, as "%04d-%02d-%02d"
// would write it; false for any other year.
bool writeDate(const QDate &date, char *out)
{
    int year = 0, month = 0, day = 0;
    date.getDate(&year, &month, &day);
    if (year < 0 || year > 9999)
        return false;
    const auto digits = [](char *p, int value, int count) {
        for (int i = count - 1; i >= 0; --i, value /= 10)
            p[i] = char('0' + value % 10);
    };
    digits(out, year, 4);
    out[4] = '-';
    digits(out + 5, month, 2);
    out[7] = '-';
    digits(out + 8, day, 2);
    return true;
}

// The date and second of the day of a log's date and time, in UTC with an offset.
void shiftToUtc(QDate &day, long long &s, std::optional<int> utcOffsetMinutes)
{
    if (!utcOffsetMinutes)
        return;
    s -= 60LL * *utcOffsetMinutes;
    const long long days = s >= 0 ? s / 86400 : -((-s + 86399) / 86400);
    day = day.addDays(days);
    s -= days * 86400;
}

} // namespace

QString passageTime(const QDate &date, int seconds, std::optional<int> utcOffsetMinutes)
{
    if (seconds < 0 || !date.isValid())
        return {};
    // By hand: QDateTime's formatting costs microseconds a call, snprintf a
    // good part of one, and a year has tens of thousands of passages.
    QDate day = date;
    long long s = seconds;
    shiftToUtc(day, s, utcOffsetMinutes);
    char text[32];
    if (!writeDate(day, text)) {
        const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02lld:%02lld:%02lld%s", day.year(), day.month(),
                                    day.day(), s / 3600, s / 60 % 60, s % 60, utcOffsetMinutes ? "Z" : "");
        return QString::fromLatin1(text, n);
    }
    const int clock[3] = {int(s / 3600), int(s / 60 % 60), int(s % 60)};
    char *p = text + 10;
    for (int i = 0; i < 3; ++i) {
        *p++ = i == 0 ? 'T' : ':';
        *p++ = char('0' + clock[i] / 10);
        *p++ = char('0' + clock[i] % 10);
    }
    if (utcOffsetMinutes)
        *p++ = 'Z';
    return QString::fromLatin1(text, p - text);
}

QString passageBucket(const Passage &p, Bucket bucket, std::optional<int> utcOffsetMinutes)
{
    QDate date = p.entryDate;
    int hour = -1;
    if (p.entrySeconds >= 0 && date.isValid()) {
        long long s = p.entrySeconds;
        shiftToUtc(date, s, utcOffsetMinutes);
        hour = int(s / 3600);
    }
    if (!date.isValid())
        return leftChars(p.entryFile, 8);
    char text[16];
    // Years below 1000 as QDate writes them.
    if (date.year() >= 1000 && writeDate(date, text)) {
        switch (bucket) {
        case Bucket::Hour:
            text[10] = 'T';
            text[11] = hour < 0 ? '-' : char('0' + hour / 10);
            text[12] = hour < 0 ? '-' : char('0' + hour % 10);
            return QString::fromLatin1(text, 13);
        case Bucket::Day: return QString::fromLatin1(text, 10);
        case Bucket::Month: return QString::fromLatin1(text, 7);
        }
        return {};
    }
    const QString hourText = hour < 0 ? QStringLiteral("--") : QStringLiteral("%1").arg(hour, 2, 10, QLatin1Char('0'));
    switch (bucket) {
    case Bucket::Hour: return date.toString(QStringLiteral("yyyy-MM-dd'T'")) + hourText;
    case Bucket::Day: return date.toString(QStringLiteral("yyyy-MM-dd"));
    case Bucket::Month: return date.toString(QStringLiteral("yyyy-MM"));
    }
    return {};
}

std::vector<PassageCount> countPassages(const std::vector<Passage> &passages, Bucket bucket,
                                        std::optional<int> utcOffsetMinutes)
{
    std::map<std::tuple<QString, int, char, char>, int> counts;
    for (const Passage &p : passages)
        ++counts[{passageBucket(p, bucket, utcOffsetMinutes), p.area, p.entrySide, p.exitSide}];
    std::vector<PassageCount> out;
    out.reserve(counts.size());
    for (const auto &[key, n] : counts)
        out.push_back({std::get<0>(key), std::get<1>(key), std::get<2>(key), std::get<3>(key), n});
    return out;
}

} // namespace Module1

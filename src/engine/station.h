#pragma once

// What one day log says about the receiving station itself: when it heard
// anything, what kinds of transmitters, and where the positions it received
// lay. Collected by the same pass that makes the day index's summary and kept
// in it, so that a report over a year reads no log twice. Every figure here
// depends on the day log alone (not on the day before, not on a station
// position), so the figures are the same whether they come from the index or
// from reading the file.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Module1 {

// The kinds of MMSI by the format of their digits (ITU-R M.585): ships
// 2..7 + MID, base stations 00 + MID, aids to navigation 99 + MID,
// search-and-rescue aircraft 111 + MID; the rest (craft of a parent ship,
// SART, EPIRB, handhelds, damaged numbers) is "other".
enum class MmsiKind : std::uint8_t { Ship, BaseStation, AidToNavigation, SarAircraft, Other };
inline constexpr int kMmsiKinds = 5;
MmsiKind mmsiKind(std::string_view mmsi);
const char *mmsiKindName(MmsiKind kind); // "ships", "base stations", ...
// Base stations and aids to navigation are on the air around the clock: as
// long as they are heard, the receiver works.
inline bool isFixedStation(MmsiKind kind)
{
    return kind == MmsiKind::BaseStation || kind == MmsiKind::AidToNavigation;
}

// A time of day in seconds, 0 to 86399, from the separator's "HH:MM:SS";
// -1 for anything else (the reader's stand-in for an unreadable time too).
int secondOfDay(std::string_view time);

// Where a record was heard: all the day's records, or those of MMSIs other
// than the fixed stations.
struct Hearing
{
    // The first and the last second with a record, -1 for none.
    std::int32_t first = -1, last = -1;
    // Every stretch between two records at least kShortestGap long, as the
    // seconds of those two records. With first and last, every silence of a
    // minute or more, also one across midnight, is known to the second.
    std::vector<std::pair<std::int32_t, std::int32_t>> gaps;

    bool operator==(const Hearing &) const = default;
};
inline constexpr std::int32_t kShortestGap = 60;

// Plausible positions, by the cells of the index's 0.01-degree grid
// (cellKey), with how many fell in each and the first of them as the cell's
// example: the ship (an index into the day summary's ships) and its second.
struct RangeCell
{
    std::uint64_t cell = 0;
    std::uint32_t count = 0;
    std::uint32_t ship = 0;
    std::int32_t second = 0;

    bool operator==(const RangeCell &) const = default;
};

// A position left out of the range, with why, so that the rule can be checked.
enum class Rejection : std::uint8_t { OffGlobe, NoTime, TooFast };
struct RejectedFix
{
    std::uint32_t ship = 0;  // index into the day summary's ships
    std::int32_t second = -1;
    double latitude = 0, longitude = 0;
    Rejection reason = Rejection::OffGlobe;
    float knots = 0;         // TooFast: the speed the previous fix implies

    bool operator==(const RejectedFix &) const = default;
};

// A ship's fix is implausible when the same ship's last plausible fix lies
// within this many seconds and reaching it would take more than kMaxKnots.
inline constexpr int kSpeedWindow = 30 * 60;
inline constexpr double kMaxKnots = 60;

struct StationDay
{
    // Records with a time, per 10 minutes of the day.
    std::array<std::uint32_t, 144> tenMinutes{};
    // Records before the file's first separator or under an unreadable time.
    std::uint32_t untimed = 0;
    Hearing all, nonFixed;
    std::vector<RangeCell> range;      // sorted by cell
    std::vector<RejectedFix> rejected; // in the order read

    bool operator==(const StationDay &) const = default;
};

// Great-circle distance on the 6371.0088 km sphere (the mean Earth radius
// of IUGG), in nautical miles, and the initial bearing in degrees [0, 360).
inline constexpr double kEarthRadiusKm = 6371.0088;
inline constexpr double kKmPerNauticalMile = 1.852;
double distanceNm(double lat1, double lon1, double lat2, double lon2);
double bearingDegrees(double lat1, double lon1, double lat2, double lon2);

namespace detail {

// Per-note stamp of the summary builder: the second of the day, or
// kUntimedStamp, and whether the record holds no position at all.
inline constexpr std::uint32_t kUntimedStamp = 0x1ffff;
inline constexpr std::uint32_t kNoPositionStamp = 0x20000;

// Gathers a StationDay on the summary builder's thread, beside its table of
// ships, one call per record. Its per-ship lists are kept from one file to
// the next, so that a day of many ships costs no allocations once the first
// has been read.
class StationTally
{
public:
    StationTally();
    void reset();
    // A new ship in the table, in the order of the table's indices.
    void addShip(std::string_view mmsi);
    // `cell` is the cellKey of the position, which the caller has at hand.
    void note(std::size_t ship, std::uint32_t stamp, double latitude, double longitude, std::uint64_t cell)
    {
        Ship &s = m_ships[ship];
        const std::uint32_t second = stamp & kUntimedStamp;
        if (second == kUntimedStamp) [[unlikely]] {
            ++m_untimed;
        } else {
            ++m_tenMinutes[second / 600];
            const std::uint64_t bit = 1ull << (second & 63);
            m_heard[second >> 6] |= bit;
            if (!isFixedStation(s.kind))
                m_heardNonFixed[second >> 6] |= bit;
            s.hours |= 1u << (second / 3600);
        }
        // Aids to navigation stand still and are often relayed by a base station
        // far off: their positions say nothing of what the receiver reaches.
        if (!(stamp & kNoPositionStamp) && s.kind != MmsiKind::AidToNavigation)
            fix(ship, s, second == kUntimedStamp ? -1 : std::int32_t(second), latitude, longitude, cell);
    }
    // The day, with ship indices mapped by `order` (old index to new) and
    // each ship's hours given to `hours` under its new index.
    StationDay take(const std::vector<std::uint32_t> &order, std::vector<std::uint32_t> &hours);

private:
    struct Run
    {
        std::uint64_t cell;
        std::uint32_t count;
        std::int32_t second;
    };
    // How many of a ship's runs stay at hand: a fix in one of these cells
    // joins its run (see fix()), older runs are never touched again.
    static constexpr std::uint8_t kRecentRuns = 4;
    struct Ship
    {
        MmsiKind kind = MmsiKind::Other;
        bool hasFix = false;
        std::uint8_t recent = 0;  // runs in `runs`, a ring
        std::uint8_t current = 0; // the newest of them
        std::uint32_t hours = 0;
        std::int32_t fixSecond = 0;
        double fixLatitude = 0, fixLongitude = 0;
        Run runs[kRecentRuns];
    };
    void fix(std::size_t ship, Ship &s, std::int32_t second, double latitude, double longitude, std::uint64_t cell);
    void newRun(std::size_t ship, Ship &s, std::int32_t second, std::uint64_t cell);
    static Hearing hearing(const std::vector<std::uint64_t> &seconds);
    void rangeOf(const std::vector<std::uint32_t> &order, std::vector<RangeCell> &range);
    void rangeByGrid(std::uint32_t top, std::uint32_t left, std::size_t rows, std::size_t columns,
                     std::vector<RangeCell> &range);
    void rangeBySort(std::vector<RangeCell> &range);

    std::vector<Ship> m_ships; // the first m_shipCount in use
    std::size_t m_shipCount = 0;
    std::vector<std::uint64_t> m_heard, m_heardNonFixed; // a bit per second
    std::array<std::uint32_t, 144> m_tenMinutes{};
    std::uint32_t m_untimed = 0;
    std::vector<RejectedFix> m_rejected;
    // A run, from a ship's recent ones or set aside: its cell's figures.
    struct Pending
    {
        std::uint64_t cell;
        std::uint64_t first; // second << 32 | ship: the lower is the cell's example
        std::uint32_t count;
    };
    // Runs that left their ship's recent ones, with the ship's table index
    // (mapped to the day's order at the end); then every run of the day.
    std::vector<Pending> m_pending;
    struct Sorted
    {
        std::uint64_t cell;
        std::uint32_t run; // in m_pending
    };
    std::vector<Sorted> m_sorted, m_sortedToo;
    std::vector<RangeCell> m_range;
    // The cells of a range that fits this many (2.5 degrees square) by row
    // and column, each figure of a cell in one place, and a bit per cell in
    // use (cleared after each day).
    static constexpr std::uint64_t kGridCells = 1 << 16;
    struct GridCell
    {
        std::uint64_t first; // as Pending's
        std::uint32_t count;
    };
    std::vector<GridCell> m_grid;
    std::vector<std::uint64_t> m_gridUsed;
};

} // namespace detail

} // namespace Module1

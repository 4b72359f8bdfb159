#pragma once

#include <QByteArray>
#include <QString>

#include "engine/station.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// What the engine knows of the day index: a summary per day log, made while a
// "Search" or "List1" pass reads the file to its end, and consulted by later
// passes to skip a file, or answer for it, whenever that gives exactly what
// reading it would. The store behind it (src/index) is installed by the
// program; with none installed every file is read.
namespace Module1 {

// The revision of the rules that turn a log into a summary: the reader's keys
// and cuts, the leading-number rule, the grid of position cells. A summary
// made under another revision is made again, whatever its file's identity.
// Raise it with any change that could make a log's summary differ.
constexpr int kSummaryRules = 3;

// The grid of the summary's position cells, about a hundredth of a degree: a
// record's cell is its latitude and longitude, as the matcher computes them,
// times this, rounded down (give or take a double's rounding next to a cell
// edge). What matters is that the map from degrees to cells never decreases:
// comparing cells with the cells of a square's inclusive bounds then decides
// exactly. A cell outside that range holds no position in the square, a cell
// strictly inside it none outside.
constexpr double kCellsPerDegree = 100;

inline std::int32_t cellOf(double degrees)
{
    // Clamped, also for the infinite bounds of a square of range 1e400; offset
    // so that truncation rounds down. Multiplying, adding and truncating each
    // keep the order, and a cheap cell counts: it is taken for every record.
    constexpr double kLimit = 1 << 30;
    const double c = degrees * kCellsPerDegree;
    if (!(c > -kLimit))
        return -(1 << 30);
    if (c > kLimit)
        return 1 << 30;
    return std::int32_t(std::int64_t(c + 2 * kLimit) - std::int64_t(2 * kLimit));
}

// A cell as one sortable number: latitude cell in the high half, longitude
// cell in the low half, both offset to be unsigned.
inline std::uint64_t cellKey(std::int32_t latCell, std::int32_t lonCell)
{
    return (std::uint64_t(std::uint32_t(latCell) ^ 0x80000000u) << 32) | (std::uint32_t(lonCell) ^ 0x80000000u);
}
inline std::int32_t cellLatitude(std::uint64_t key)
{
    return std::int32_t(std::uint32_t(key >> 32) ^ 0x80000000u);
}
inline std::int32_t cellLongitude(std::uint64_t key)
{
    return std::int32_t(std::uint32_t(key) ^ 0x80000000u);
}

// One ship in one day log.
struct ShipSummary
{
    std::string mmsi;          // exactly as recMmsi held it
    long long records = 0;
    // Positions as the matcher reads them (leading-number rule, empty as 0).
    double minLatitude = 0, maxLatitude = 0, minLongitude = 0, maxLongitude = 0;
    std::string lastName;      // the last non-empty recName, or empty
    // Every cell holding one of its positions, sorted: where the box is too
    // coarse to decide, the cells show whether a square can hold a record.
    std::vector<std::uint64_t> cells;
    // Bit h: a record with a time in hour h of the day.
    std::uint32_t hours = 0;
};

// One day log read to its end from an empty record (recTime aside).
struct DaySummary
{
    // Whether the file yields any item at all, and the time its first item
    // set when that item is a separator (empty otherwise): all a read does
    // before its first event-loop turn.
    bool hasItems = false;
    std::string firstTime;
    // The recTime the file leaves behind, when one of its separators set it.
    bool setsTime = false;
    std::string lastTime;
    // Whether firstTime and lastTime are the reader's stand-in for a separator
    // without a readable time rather than a time the receiver wrote.
    bool firstTimeReplaced = false;
    bool lastTimeReplaced = false;
    // The fields of a trailing record without an MMSI, carried into the next file.
    std::string name, longitude, latitude, speed;
    std::vector<ShipSummary> ships; // sorted by mmsi
    // What the file says about the receiving station (station.h).
    StationDay station;

    const ShipSummary *find(std::string_view mmsi) const;
};

class DayIndex
{
public:
    virtual ~DayIndex() = default;

    struct Lookup
    {
        std::unique_ptr<DaySummary> summary; // null: read the file
        bool wantSummary = false;            // read it, and store() what it gave
    };

    // Called before a file of a "Search" or "List1" pass is read. A summary
    // comes back only for a file whose identity is the one it was made from.
    virtual Lookup lookup(const QString &folder, const QString &fileName) = 0;
    // The summary of a file read to its end after a lookup that wanted one:
    // right after the read, or within a period pass when the next summary is
    // made or the pass ends. The store checks that the file did not change since
    // the lookup.
    virtual void store(const QString &folder, const QString &fileName, const DaySummary &summary) = 0;
    // The same within a period pass: the store may finish it on a thread of
    // its own while the next file is read. Everything handed over is stored
    // by the time flush() returns; a pass calls it at its end.
    virtual void storeLater(const QString &folder, const QString &fileName, DaySummary &&summary)
    {
        store(folder, fileName, summary);
    }
    virtual void flush() {}
};

// The index the passes use; null (the default) reads every file.
void setDayIndex(DayIndex *index);
DayIndex *dayIndex();

} // namespace Module1

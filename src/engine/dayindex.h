#pragma once

#include <QString>

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

// One ship in one day log.
struct ShipSummary
{
    std::string mmsi;          // exactly as recMmsi held it
    long long records = 0;
    // Positions as the matcher reads them (leading-number rule, empty as 0).
    double minLatitude = 0, maxLatitude = 0, minLongitude = 0, maxLongitude = 0;
    std::string lastName;      // the last non-empty recName, or empty
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
    // The fields of a trailing record without an MMSI, carried into the next file.
    std::string name, longitude, latitude, speed;
    std::vector<ShipSummary> ships; // sorted by mmsi

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
    // The summary of a file just read to its end after a lookup that wanted one.
    // The store checks that the file did not change while it was read.
    virtual void store(const QString &folder, const QString &fileName, const DaySummary &summary) = 0;
};

// The index the passes use; null (the default) reads every file.
void setDayIndex(DayIndex *index);
DayIndex *dayIndex();

} // namespace Module1

#pragma once

#include <QDate>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Passages through the areas: for one ship and one active area, a maximal run
// of its positions inside the square, in log order, read by the same reader
// and decided "inside" with the matcher's own numbers.
//
// The rules, as docs/exports.md gives them to users:
// - a record whose latitude or longitude holds no number is no position here;
// - a silence longer than the gap between two of a ship's positions ends a
//   passage, and a position inside after it starts a new one; a passage inside
//   at the end of one day log and at the start of the next day's, within the
//   gap, is one passage across midnight (a missing day is always longer);
// - a single implausible fix, one that would need more than 60 knots from both
//   of its neighbours (each within the gap), is dropped: it neither starts nor
//   ends a passage;
// - squares that overlap give a passage in each.
namespace Module1 {

// The side of the square a ship came in by or left by; '-' when it was first
// or last heard inside.
using Side = char;

struct PassagePoint
{
    double longitude = 0, latitude = 0;
};

struct Passage
{
    int area = 0;             // 0, 1, 2 for A, B, C
    std::string mmsi;
    std::string name;         // the ship's last non-empty name in the pass
    QDate entryDate, exitDate; // the dates of the day logs of the entry and exit fixes
    // Seconds of the day; -1 for the reader's stand-in time, which is no time.
    int entrySeconds = -1, exitSeconds = -1;
    QString entryFile, exitFile;
    int fixes = 0;
    std::optional<double> speedMin, speedMedian, speedMax;
    Side entrySide = '-', exitSide = '-';
    std::optional<double> bearing; // degrees from north, entry fix to exit fix
    PassagePoint entry, exit;
    bool stopped = false;     // below 0.5 kn for at least 10 minutes inside
    std::vector<PassagePoint> points; // the fixes inside, when asked for

    // Seconds from entry to exit, when both times are known.
    std::optional<long long> duration() const;
};

struct PassageOptions
{
    int gapMinutes = 30;
    bool keepPoints = false;
};

// The gap is a silence within a passage; a longer one than this is no
// passage any more, and the day index can only skip a day the gap cannot
// reach across (see answerPassages).
inline constexpr int kMaxGapMinutes = 720;
inline constexpr double kImplausibleKnots = 60;
inline constexpr double kStoppedKnots = 0.5;
inline constexpr int kStoppedSeconds = 600;

// Every passage of the host's period, MMSI field and active areas, in the log
// order of their entry fixes. A pass that stops early (Escape) closes what is
// open where it stopped; passReport says what was left unread.
std::vector<Passage> passagesPeriod(const PassageOptions &options, bool *stopped = nullptr);

QString areaLetter(int area);
// "2011-04-01T13:04:05", in UTC ("...Z") with an offset (minutes east of UTC);
// empty for a stand-in time.
QString passageTime(const QDate &date, int seconds, std::optional<int> utcOffsetMinutes);

// Passages per area and time bucket, split by the sides crossed.
enum class Bucket { Hour, Day, Month };
struct PassageCount
{
    QString bucket;   // "2011-04-01T13", "2011-04-01", "2011-04"
    int area = 0;
    Side entrySide = '-', exitSide = '-';
    int passages = 0;
};
// The bucket of a passage's entry; a stand-in entry time has the hour "--".
QString passageBucket(const Passage &p, Bucket bucket, std::optional<int> utcOffsetMinutes);
// Sorted by bucket, area, entry side, exit side.
std::vector<PassageCount> countPassages(const std::vector<Passage> &passages, Bucket bucket,
                                        std::optional<int> utcOffsetMinutes);

struct DaySummary;

namespace detail {

// What the day index weighs, beside the neighbour files (internal.h), before
// a passages pass leaves a day log unread (dayindex.cpp). Only a ship's own
// fixes act on its passages, and only fixes within the gap of each other act
// at all; the gap is at most half a day, so a day's fixes reach no further
// than the days either side.
//
// Whether a fix in the day log `fileName` could still continue, close or
// judge what the pass holds for one of the day's ships: a passage open, or a
// fix inside not yet judged, last heard within the gap of the log's start.
bool passagesOpenInto(const QString &fileName, const DaySummary &day);
// Whether every fix of a ship in the day log `fileName` is surely more than
// the gap before all of its fixes in `nextName`, the log of the next date: by
// the hours the ship was heard in each, when every record of both logs has a
// time (`allTimed`, `nextAllTimed`). False when that cannot be told.
bool passagesFarApart(const QString &fileName, bool allTimed, std::uint32_t hours, const QString &nextName,
                      bool nextAllTimed, std::uint32_t nextHours);

} // namespace detail

} // namespace Module1

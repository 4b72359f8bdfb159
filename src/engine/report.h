#pragma once

// The station's reception report over a period: when it heard, what, and
// how far, computed from the per-day figures of station.h only, whether
// those came from the day index or from reading the logs. Plain data; the
// report window, velkais-log report and the tests share it.

#include "engine/dayindex.h"
#include "engine/station.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>

#include <array>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace Module1 {

struct GeoPoint
{
    double latitude = 0, longitude = 0;
};

// "LAT,LON" in decimal degrees, on the globe.
std::optional<GeoPoint> parseStation(const QString &text);

struct ReportOptions
{
    std::optional<GeoPoint> station;
    int silenceMinutes = 10;   // the shortest silence listed, 1 or more
    double maxRangeNm = 500;   // positions farther from the station are left out
};

inline constexpr int kSectors = 72; // of 5 degrees, clockwise from north

// The days of a period as read: a summary per day with a log read to its
// end (or answered by the index), and which days had a log not read.
struct PeriodFigures
{
    QDate first, last;
    std::map<QDate, DaySummary> days;
    std::set<QDate> unread;
    // The moment the report is made: today's log ends there, later days are
    // not yet due.
    QDateTime now;
};

// The period's calendar days for --from and --to as the passes compare them
// (text prefixes of yyyymmdd: "2011" to "2011" is the year 2011), up to
// `today`. False when no real date lies in it.
bool periodDates(const QString &from, const QString &to, const QDate &today, QDate &first, QDate &last);

// Reads (or answers from the day index) every day log of the host's period
// into `figures`; the period's bounds and `now` are the caller's. Returns
// true when the pass was stopped. Whatever it did not read is in passReport.
bool stationPass(PeriodFigures &figures);

struct DayLine
{
    QDate date;
    enum class State { Read, NoLog, NotRead } state = State::NoLog;
    long long records = 0, untimed = 0;
    std::array<std::uint32_t, 144> tenMinutes{};
    std::array<int, 24> distinctPerHour{};
    std::array<int, kMmsiKinds> distinctByKind{};
    int distinct = 0;
};

struct SilentStretch
{
    enum class Kind { NothingHeard, FixedOnly, NoLog, NotRead } kind = Kind::NothingHeard;
    QDateTime start, end; // station clock, no time zone
    bool fromPeriodStart = false; // may have begun before it
    bool toPeriodEnd = false;     // may go on after it
    qint64 seconds() const { return start.secsTo(end); }
};

struct SectorRange
{
    long long positions = 0;
    double maxNm = 0, p95Nm = 0;
    GeoPoint farthest;       // the farthest cell's centre
    std::string mmsi;        // that cell's first fix
    QDate date;
    int second = 0;
};

struct RejectedLine
{
    QDate date;
    std::string mmsi;
    int second = -1;
    GeoPoint position;
    long long count = 1;
    QString reason;
};

struct StationReport
{
    QDate first, last;
    ReportOptions options;
    std::vector<DayLine> days;
    long long records = 0, untimed = 0;
    std::array<int, kMmsiKinds> distinctByKind{};
    int distinct = 0;
    bool fixedStationsHeard = false;
    std::vector<SilentStretch> silences;
    bool hasRange = false;
    std::array<SectorRange, kSectors> sectors{};
    long long positions = 0;
    // Positions left out: not on the globe, without a time, too fast, too far.
    std::array<long long, 4> rejectedCounts{};
    std::vector<RejectedLine> rejected; // each of them

    int daysRead() const;
    double recordsPerDay() const;
    double shipsPerDay() const;
    qint64 silentSeconds() const; // nothing heard, over the period
};

StationReport computeReport(const PeriodFigures &figures, const ReportOptions &options);

// The report as text for a terminal, CSV (one table after another, each
// with its header row) or JSON; with a second report, the two side by side
// with the differences.
QByteArray reportText(const StationReport &report, const StationReport *compare, bool listRejected);
QByteArray reportCsv(const StationReport &report, const StationReport *compare, bool listRejected);
QByteArray reportJson(const StationReport &report, const StationReport *compare, bool listRejected);

// The outline of the range around the station: per sector its start and end
// bearing at the sector's distance (the station itself for a sector without
// positions), for the maximum and the 95th percentile.
std::vector<GeoPoint> rangeOutline(const StationReport &report, bool percentile);
GeoPoint destination(const GeoPoint &from, double bearingDegrees, double nm);
QByteArray outlineGeoJson(const StationReport &report, const StationReport *compare);
QByteArray outlineKml(const StationReport &report, const StationReport *compare);

} // namespace Module1

#include "engine/dayindex.h"

#include "engine/internal.h"
#include "engine/module1.h"
#include "engine/passages.h"
#include "engine/summarybuilder.h"

#include <algorithm>
#include <deque>
#include <cstdint>

namespace Module1 {

using namespace detail;

const ShipSummary *DaySummary::find(std::string_view mmsi) const
{
    const auto it = std::lower_bound(ships.begin(), ships.end(), mmsi,
                                     [](const ShipSummary &s, std::string_view m) { return s.mmsi < m; });
    return it != ships.end() && it->mmsi == mmsi ? &*it : nullptr;
}

namespace {

DayIndex *g_index = nullptr;

SummaryBuilder g_builder;
bool g_summaryAwaitsSeparator = false; // the file's first separator is still to come

// The file whose summary the builder is finishing, to be stored later.
struct FinishedFile
{
    bool pending = false;
    QString folder, fileName;
    bool store = false, collect = false;
};
FinishedFile g_finished;
bool g_storeLater = false;
// What the file being read is summarised for: the index, a report, or both.
bool g_storeWanted = false;
bool g_collectWanted = false;

// Lookups made ahead of a file's turn, while workers read the files before it
// (readAhead), in the period's order.
struct EarlyLookup
{
    QString folder, fileName;
    DayIndex::Lookup found;
};
std::deque<EarlyLookup> g_early;
// For a passages pass, the day looked up ahead last: the ships that may reach
// a square in it, or that it could not be told.
struct EarlyReach
{
    bool unknown = false;
    QString fileName;
    bool allTimed = false;
    std::vector<std::pair<std::string, std::uint32_t>> ships; // MMSI, hours
};
EarlyReach g_earlyReach;

// The index's word on a file: the one asked for ahead of time, if any.
DayIndex::Lookup lookupFile(const QString &fileName)
{
    while (!g_early.empty()) {
        EarlyLookup early = std::move(g_early.front());
        g_early.pop_front();
        if (early.folder == logFolder && early.fileName == fileName)
            return std::move(early.found);
    }
    return g_index->lookup(logFolder, fileName);
}

void deliver(const FinishedFile &file, DaySummary &&summary)
{
    if (file.collect && g_collectedDays) {
        CollectedDay day{file.fileName, summary};
        for (ShipSummary &s : day.summary.ships)
            std::vector<std::uint64_t>().swap(s.cells);
        g_collectedDays->push_back(std::move(day));
    }
    if (file.store && g_index)
        g_index->storeLater(file.folder, file.fileName, std::move(summary));
}

// "Report": every file is summarised, answered from the index when it can.
// The record's state that a file answered from its summary leaves for the next
// file, as reading it would have left it.
void leaveStateOf(const DaySummary &summary)
{
    if (summary.setsTime) {
        record.recTime = summary.lastTime;
        g_timeReplaced = summary.lastTimeReplaced;
    }
    record.recName = summary.name;
    record.recLongitude = summary.longitude;
    record.recLatitude = summary.latitude;
    record.recSpeed = summary.speed;
}

IndexAnswer answerReport(const QString &fileName, bool &userStop)
{
    // A day's figures hang on its file alone, never on what the file before left.
    emptyRecord();
    DayIndex::Lookup found;
    if (g_index)
        found = lookupFile(fileName);
    if (found.summary) {
        leaveStateOf(*found.summary);
        deliver({false, logFolder, fileName, false, true}, std::move(*found.summary));
        if (g_host->processEvents())
            userStop = true;
        return IndexAnswer::Answered;
    }
    g_builder.start();
    g_buildingSummary = true;
    g_summaryAwaitsSeparator = true;
    g_storeWanted = found.wantSummary;
    g_collectWanted = true;
    return IndexAnswer::Read;
}

bool recordIsEmpty()
{
    const CurrentRecord &r = record;
    return r.recMmsi.empty() && r.recName.empty() && r.recLongitude.empty() && r.recLatitude.empty() &&
           r.recSpeed.empty() && r.recDestination.empty() && r.recEta.empty() && r.recDraught.empty() &&
           r.recNavStatus.empty() && r.recText.empty();
}

// An active area: the matcher's bounds, so a box compared with them decides
// exactly what every record in it would have given, and the cells of those
// bounds, for the ship's cells.
struct Area
{
    Square bounds;
    std::int32_t latLow, latHigh, lonLow, lonHigh;
};

std::vector<Area> activeAreas(const Criteria &criteria = g_criteria)
{
    std::vector<Area> areas;
    for (int k = 0; k < 3; ++k) {
        if (!criteria.areaOn[k])
            continue;
        const Square q = squareOf(criteria, k);
        areas.push_back({q, cellOf(q.latLow), cellOf(q.latHigh), cellOf(q.lonLow), cellOf(q.lonHigh)});
    }
    return areas;
}

bool boxInside(const ShipSummary &s, const Square &q)
{
    return q.lonLow <= s.minLongitude && s.maxLongitude <= q.lonHigh && q.latLow <= s.minLatitude &&
           s.maxLatitude <= q.latHigh;
}

bool boxTouches(const ShipSummary &s, const Square &q)
{
    return q.lonLow <= s.maxLongitude && s.minLongitude <= q.lonHigh && q.latLow <= s.maxLatitude &&
           s.minLatitude <= q.latHigh;
}

// Whether some record of the ship may lie in one of the areas: its box
// touches the square and one of its cells lies within the square's cells.
bool mayReach(const ShipSummary &s, const std::vector<Area> &areas)
{
    for (const Area &a : areas) {
        if (!boxTouches(s, a.bounds) || a.latLow > a.latHigh || a.lonLow > a.lonHigh)
            continue;
        // Cells are sorted by latitude first: the rows of the square are one run.
        auto it = std::lower_bound(s.cells.begin(), s.cells.end(), cellKey(a.latLow, a.lonLow));
        const std::uint64_t last = cellKey(a.latHigh, a.lonHigh);
        for (; it != s.cells.end() && *it <= last; ++it) {
            const std::int32_t lon = cellLongitude(*it);
            if (a.lonLow <= lon && lon <= a.lonHigh)
                return true;
        }
    }
    return false;
}

// Whether some record of the ship surely lies in one of the areas: its box
// inside a square, or one of its cells strictly inside the cells of one.
bool surelyReaches(const ShipSummary &s, const std::vector<Area> &areas)
{
    if (std::any_of(areas.begin(), areas.end(), [&](const Area &a) { return boxInside(s, a.bounds); }))
        return true;
    return std::any_of(s.cells.begin(), s.cells.end(), [&](std::uint64_t cell) {
        const std::int32_t lat = cellLatitude(cell);
        const std::int32_t lon = cellLongitude(cell);
        return std::any_of(areas.begin(), areas.end(), [&](const Area &a) {
            return a.latLow < lat && lat < a.latHigh && a.lonLow < lon && lon < a.lonHigh;
        });
    });
}

// "List1": the selected ship's file is listed, skipped or must be read.
bool answerShipSelection(const DaySummary &summary, const QString &fileName)
{
    const std::string &selected = search.selectedMmsi;
    const ShipSummary *ship = summary.find(selected);
    if (!ship || (!g_criteria.mmsi.empty() && g_criteria.mmsi != selected))
        return true;
    const std::vector<Area> areas = activeAreas();
    // One record of the ship in an area lists the file.
    if (areas.empty() || surelyReaches(*ship, areas)) {
        if (isFileListed(fileName))
            return true;
        // Listing it would reach the limit: the read shows the message where it must.
        if (g_host->fileItemCount() + 1 >= kResultLimit)
            return false;
        listFile(fileName);
        return true;
    }
    return !mayReach(*ship, areas);
}

// "Search": answered when no record could add a ship, that is when every ship
// that could pass the criteria is listed already. Then only the name refresh
// is left, and the last name of each listed ship is all that refresh keeps.
bool answerSearch(const DaySummary &summary)
{
    const std::vector<Area> areas = activeAreas();
    const auto couldAdd = [&](const ShipSummary &s) {
        if (isShipListed(s.mmsi))
            return false;
        return areas.empty() || mayReach(s, areas);
    };
    if (!g_criteria.mmsi.empty()) {
        const ShipSummary *s = summary.find(g_criteria.mmsi);
        if (s && couldAdd(*s))
            return false;
    } else if (std::any_of(summary.ships.begin(), summary.ships.end(), couldAdd)) {
        return false;
    }
    for (const ShipSummary &s : summary.ships) {
        if (!s.lastName.empty())
            refreshListedName(s.mmsi, s.lastName);
    }
    return true;
}

// A passages pass: skipped when no ship of the day can have a fix in an
// active square, and none of the day's ships can have its fixes matter to
// the pass's other days: nothing of the ship open across the day's start
// (passagesOpenInto), and no fix in a square in a neighbour log (the same
// date's later logs, the next date's) that its fixes of the day could be near.
// A fix before a passage gives its entry side; the gap, at most half a day,
// keeps every other neighbour within those logs. Only the last names are left
// of the day.
bool answerPassages(const DaySummary &summary, const QString &fileName)
{
    const std::vector<Area> areas = activeAreas();
    const auto tracked = [&](const ShipSummary &s) { return g_criteria.mmsi.empty() || s.mmsi == g_criteria.mmsi; };
    const auto reaches = [&](const ShipSummary &s) { return tracked(s) && mayReach(s, areas); };
    if (std::any_of(summary.ships.begin(), summary.ships.end(), reaches))
        return false;
    if (passagesOpenInto(fileName, summary))
        return false;
    if (areas.empty()) {
        passagesSkipDay(summary);
        return true;
    }
    const bool allTimed = summary.station.untimed == 0;
    // Whether a ship of the neighbour that may reach a square was heard this
    // day near enough in time to count.
    const auto touches = [&](const QString &next, const DaySummary &day) {
        return std::any_of(day.ships.begin(), day.ships.end(), [&](const ShipSummary &s) {
            if (!reaches(s))
                return false;
            const ShipSummary *here = summary.find(s.mmsi);
            return here && !passagesFarApart(fileName, allTimed, here->hours, next, day.station.untimed == 0, s.hours);
        });
    };
    for (const QString &next : passagesNeighbourFiles(fileName)) {
        // A lookup made ahead for that day serves here too; it stays for the day's turn.
        const auto early = std::find_if(g_early.begin(), g_early.end(), [&](const EarlyLookup &e) {
            return e.folder == logFolder && e.fileName == next;
        });
        if (early != g_early.end()) {
            if (!early->found.summary || touches(next, *early->found.summary))
                return false;
            continue;
        }
        DayIndex::Lookup found = g_index->lookup(logFolder, next);
        if (!found.summary || touches(next, *found.summary))
            return false;
        // Without workers nothing was looked up ahead: the day's turn takes
        // this lookup rather than making it again.
        if (g_early.empty())
            g_early.push_back({logFolder, next, std::move(found)});
    }
    passagesSkipDay(summary);
    return true;
}

} // namespace

void setDayIndex(DayIndex *index)
{
    storeFinishedSummary();
    if (g_index)
        g_index->flush();
    g_index = index;
}

DayIndex *dayIndex()
{
    return g_index;
}

namespace detail {

IndexAnswer answerFromIndex(Pass pass, const QString &fileName, bool &userStop)
{
    g_buildingSummary = false;
    g_summaryAwaitsSeparator = false;
    g_storeWanted = false;
    g_collectWanted = false;
    if (pass == Pass::Report)
        return answerReport(fileName, userStop);
    // Summaries are of "Search", "List1" and passages passes, which read the same keys,
    // and hold for a file read from an empty record only.
    if (!g_index || (pass != Pass::Search && pass != Pass::List1 && pass != Pass::Passages) || !recordIsEmpty())
        return IndexAnswer::Read;
    DayIndex::Lookup found = lookupFile(fileName);
    if (!found.summary) {
        if (found.wantSummary) {
            g_builder.start();
            g_buildingSummary = true;
            g_summaryAwaitsSeparator = true;
            g_storeWanted = true;
        }
        return IndexAnswer::Read;
    }
    const DaySummary &summary = *found.summary;

    // What a read does up to its first event-loop turn, and the turn itself.
    if (summary.hasItems) {
        if (!summary.firstTime.empty()) {
            record.recTime = summary.firstTime;
            g_timeReplaced = summary.firstTimeReplaced;
        }
        if (g_host->processEvents()) {
            userStop = true;
            return IndexAnswer::Answered;
        }
        refreshControls();
    }

    const bool answered = pass == Pass::Search     ? answerSearch(summary)
                          : pass == Pass::Passages ? answerPassages(summary, fileName)
                                                   : answerShipSelection(summary, fileName);
    if (!answered)
        return summary.hasItems ? IndexAnswer::ReadAfterTurn : IndexAnswer::Read;

    leaveStateOf(summary);
    return IndexAnswer::Answered;
}

bool readAhead(Pass pass, const QString &fileName)
{
    if (!g_index || (pass != Pass::Search && pass != Pass::List1 && pass != Pass::Passages && pass != Pass::Report))
        return true;
    DayIndex::Lookup found = g_index->lookup(logFolder, fileName);
    bool read = true;
    if (!found.summary && pass == Pass::Passages)
        g_earlyReach = {true, fileName, false, {}}; // it may leave a passage open
    if (found.summary) {
        const DaySummary &summary = *found.summary;
        const std::vector<Area> areas = activeAreas();
        switch (pass) {
        case Pass::Search: {
            // The ships listed only grow during a pass: a file no ship of
            // which could be added now is answered when its turn comes.
            const auto couldAdd = [&](const ShipSummary &s) {
                return !isShipListed(s.mmsi) && (areas.empty() || mayReach(s, areas));
            };
            if (!g_criteria.mmsi.empty()) {
                const ShipSummary *s = summary.find(g_criteria.mmsi);
                read = s && couldAdd(*s);
            } else {
                read = std::any_of(summary.ships.begin(), summary.ships.end(), couldAdd);
            }
            break;
        }
        case Pass::List1: {
            const ShipSummary *ship = summary.find(search.selectedMmsi);
            read = ship && (g_criteria.mmsi.empty() || g_criteria.mmsi == search.selectedMmsi) && !areas.empty() &&
                   !surelyReaches(*ship, areas) && mayReach(*ship, areas);
            break;
        }
        case Pass::Passages: {
            // A day the squares' ships reach, and the day after one, when a
            // ship that reached a square then is heard near enough in time
            // to continue or close its passage. By the controls as they
            // stand: ahead of the pass's first file they were not read yet.
            const Criteria criteria = g_host->criteria();
            const std::vector<Area> squares = activeAreas(criteria);
            EarlyReach reach{false, fileName, summary.station.untimed == 0, {}};
            for (const ShipSummary &s : summary.ships) {
                if (!squares.empty() && (criteria.mmsi.empty() || s.mmsi == criteria.mmsi) && mayReach(s, squares))
                    reach.ships.emplace_back(s.mmsi, s.hours);
            }
            read = !reach.ships.empty() || g_earlyReach.unknown ||
                   std::any_of(g_earlyReach.ships.begin(), g_earlyReach.ships.end(), [&](const auto &ship) {
                       const ShipSummary *s = summary.find(ship.first);
                       return s && !passagesFarApart(g_earlyReach.fileName, g_earlyReach.allTimed, ship.second,
                                                     fileName, reach.allTimed, s->hours);
                   });
            g_earlyReach = std::move(reach);
            break;
        }
        default:
            read = false;
            break;
        }
    }
    g_early.push_back({logFolder, fileName, std::move(found)});
    return read;
}

bool passagesReadDayBefore(const QString &before, const QString &day)
{
    const auto lookedUp = [](const QString &name) -> const DaySummary * {
        for (const EarlyLookup &e : g_early) {
            if (e.folder == logFolder && e.fileName == name)
                return e.found.summary ? &*e.found.summary : nullptr;
        }
        return nullptr;
    };
    const DaySummary *first = lookedUp(before);
    const DaySummary *second = lookedUp(day);
    if (!first || !second)
        return true;
    // answerPassages' test of a neighbour, for the day before `day`.
    const std::vector<Area> areas = activeAreas();
    return std::any_of(second->ships.begin(), second->ships.end(), [&](const ShipSummary &s) {
        if ((!g_criteria.mmsi.empty() && s.mmsi != g_criteria.mmsi) || !mayReach(s, areas))
            return false;
        const ShipSummary *here = first->find(s.mmsi);
        return here && !passagesFarApart(before, first->station.untimed == 0, here->hours, day,
                                         second->station.untimed == 0, s.hours);
    });
}

void forgetEarlyLookups()
{
    g_early.clear();
    g_earlyReach = {};
}

bool g_buildingSummary = false;

void addRecordToSummary()
{
    g_builder.add(record, g_position.known, g_position.latitude, g_position.longitude);
}

void addNoteToSummary(const void *note)
{
    if (g_buildingSummary)
        g_builder.addNote(note);
}

bool summariesMayBeBuilt(Pass pass)
{
    return pass == Pass::Report ||
           (g_index && (pass == Pass::Search || pass == Pass::List1 || pass == Pass::Passages));
}

void noteSeparator(bool firstItem, std::size_t itemSize)
{
    if (!g_buildingSummary)
        return;
    g_builder.setTime(record.recTime, g_timeReplaced);
    if (!g_summaryAwaitsSeparator) [[likely]]
        return;
    g_summaryAwaitsSeparator = false;
    g_builder.separator(firstItem, itemSize, record.recTime, g_timeReplaced);
}

void finishFile(const QString &fileName, bool readToEnd, bool hasItems)
{
    if (!g_buildingSummary)
        return;
    g_buildingSummary = false;
    g_summaryAwaitsSeparator = false;
    // A summary that could not answer for the file still tells the report
    // what the file holds.
    const bool store = g_storeWanted && g_builder.usable() && g_index;
    const FinishedFile file{true, logFolder, fileName, store, g_collectWanted};
    if (!readToEnd || (!file.store && !file.collect)) {
        g_builder.discard();
    } else if (g_storeLater) {
        // The summary before this one, long since sorted out: a whole file
        // was read meanwhile.
        storeFinishedSummary();
        g_builder.finishLater(hasItems, record, g_timeReplaced);
        g_finished = file;
    } else if (file.collect) {
        deliver(file, g_builder.finish(hasItems, record, g_timeReplaced));
    } else {
        g_index->store(logFolder, fileName, g_builder.finish(hasItems, record, g_timeReplaced));
    }
}

void storeFinishedSummary()
{
    if (!g_finished.pending)
        return;
    g_finished.pending = false;
    deliver(g_finished, g_builder.result());
}

std::vector<CollectedDay> *g_collectedDays = nullptr;

StoreSummariesLater::StoreSummariesLater() : m_outer(!g_storeLater)
{
    g_storeLater = true;
}

StoreSummariesLater::~StoreSummariesLater()
{
    if (!m_outer)
        return;
    g_storeLater = false;
    storeFinishedSummary();
    if (g_index)
        g_index->flush();
}

} // namespace detail

} // namespace Module1

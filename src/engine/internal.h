#pragma once

// What the reader, the matcher and the view accumulation share during a pass.
// Not for use outside the engine.

#include "engine/dayindex.h"
#include "engine/host.h"

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace Module1 {
struct DaySummary;
}

namespace Module1::detail {

// The mode of a pass, decided once per file instead of comparing texts per record.
enum class Pass { Search, List1, List2, Export, Passages, Report };
enum class View { Other, Dest, Kml };

extern Host *g_host;

// What the matcher reads of the controls. Refreshed at the start of every file
// and after every event-loop turn, the only moments at which the user can have
// edited a field; so an edit applies from the next record on, as if the
// controls were read for every record.
extern Criteria g_criteria;
extern int g_altitudeRule;
extern View g_view;
// The current recTime is the reader's stand-in for a separator without a
// readable time, not a time the receiver wrote.
extern bool g_timeReplaced;

void refreshControls();

// Area k of the criteria as the bounds of its square, inclusive. The matcher
// tests every record against these, and the day index every position box,
// so both compare against the very same doubles.
struct Square
{
    double lonLow, lonHigh, latLow, latHigh;
};
inline Square squareOf(const Criteria &c, int k)
{
    const double latC = c.latitude[k];
    const double lonC = c.longitude[k];
    const double r = c.range[k];
    return {lonC - r, lonC + r, latC - r, latC + r};
}
Pass passOf(const QString &mode);
View viewOf(const std::string &viewMode);
double numberOf(const std::string &text);

bool matchRecord(Pass pass, const QString &fileName);
// The position of the record being matched, when the matcher read it for the
// areas: the day index's summary takes the same numbers instead of reading
// them again.
struct RecordPosition
{
    bool known = false;
    double latitude = 0, longitude = 0;
};
extern RecordPosition g_position;
// The same numbers of the current record's longitude and latitude texts when
// a worker reading ahead computed them (readahead.h), for the matcher and the
// passages to take instead of parsing the texts again.
extern RecordPosition g_workerPosition;
// Empties the ten fields of the current record other than recTime.
void emptyRecord();
// Hands a record that passed an export pass's criteria to the pass's sink
// (export.cpp). Returns true when the sink asks to stop.
bool exportRecord(const QString &fileName);
// Hands a record of a ship that passed the MMSI test, whatever its position,
// to the passages pass (passages.cpp).
void passageRecord(const QString &fileName);
// What the day index needs of a passages pass to skip a day: the day logs
// whose fixes could neighbour this day's (the same and the next day, within
// the period), and the names a skipped day would have given.
QStringList passagesNeighbourFiles(const QString &fileName);
void passagesSkipDay(const DaySummary &summary);
// Forgets what the matcher keeps beside the ship table and the file list.
void resetMatcher();
// A new file starts: the file-list shortcut of the last file no longer holds.
void beginFile();

// What the matcher does for a record, for a file answered from the day index:
// lists the file in List2 (limit not reached), refreshes a listed ship's name.
void listFile(const QString &fileName);
void refreshListedName(const std::string &mmsi, const std::string &name);

// The day index at a file's start: answered (the file is not read;
// `userStop` set when the user stopped the pass in its event-loop turn), read,
// or read with the file's first event-loop turn already taken.
enum class IndexAnswer { Answered, Read, ReadAfterTurn };
IndexAnswer answerFromIndex(Pass pass, const QString &fileName, bool &userStop);
// Whether a period pass should have a worker read the file ahead: not when
// the index will answer for it at its turn, as far as can be told now (a
// wrong guess only costs a read, by a worker or the pass's own thread). The
// lookup is kept for the file's turn, which takes it instead of making
// another; lookups made ahead are taken in order and forgotten when the
// pass ends.
bool readAhead(Pass pass, const QString &fileName);
// For a passages pass: whether the day before a day read, which readAhead()
// left to the index, is read after all for its fixes near that day's; both
// were looked up ahead.
bool passagesReadDayBefore(const QString &before, const QString &day);
void forgetEarlyLookups();
// While a file is read for its summary: every record handed over, every
// separator, and the file's end.
// Checked inline: the call is per record.
extern bool g_buildingSummary;
void addRecordToSummary();
// Whether a file a pass of this kind reads may have its summary made: a worker
// reading it ahead then notes every record for it.
bool summariesMayBeBuilt(Pass pass);
inline void noteRecord()
{
    if (g_buildingSummary)
        addRecordToSummary();
}
// The summary wants the file's first separator only (whether the file sets
// the time, and the first item's time). Not inline: in the reader's loop it
// would change what the compiler inlines there, at a greater cost.
void noteSeparator(bool firstItem, std::size_t itemSize);
void finishFile(const QString &fileName, bool readToEnd, bool hasItems);
// For the length of a period pass, a file's summary is stored when the next
// one is finished or the pass ends, so that the reader goes on while the ships
// are sorted out on the other thread. A lone readLogFile stores it before it
// returns, as its callers (the index command) expect.
class StoreSummariesLater
{
public:
    StoreSummariesLater();
    ~StoreSummariesLater();
    StoreSummariesLater(const StoreSummariesLater &) = delete;
    StoreSummariesLater &operator=(const StoreSummariesLater &) = delete;

private:
    bool m_outer;
};
void storeFinishedSummary();
// While a "Report" pass runs: every day log it reads to its end, or the day
// index answers for, with its summary (the ships without their cells).
struct CollectedDay
{
    QString fileName;
    DaySummary summary;
};
extern std::vector<CollectedDay> *g_collectedDays;

} // namespace Module1::detail

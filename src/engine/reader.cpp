#include "engine/internal.h"
#include "engine/module1.h"
#include "engine/numbers.h"
#include "engine/readahead.h"
#include "engine/summarybuilder.h"
#include "engine/text.h"
#include "engine/itemrules.h"
#include "platform/itemreader.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstring>
#include <optional>

namespace Module1 {

using namespace detail;
using namespace detail::ItemRules;

namespace {

// Event-loop turns are offered after every item, but a turn only runs when about
// 10 ms have passed since the last one. One processEvents() costs a couple of
// microseconds even with nothing pending, which per item would cap a pass at a
// few MB/s; a hundred turns a second keep the window just as responsive. The
// clock itself is read only every 256 items.
class EventTurns
{
public:
    EventTurns() { m_clock.start(); }
    bool due() { return dueAfter(1); }
    // The same after `items` items at once: a worker's chunk of steps.
    bool dueAfter(std::uint64_t items)
    {
        if (items < std::uint64_t(256 - m_items)) {
            m_items += static_cast<int>(items);
            return false;
        }
        m_items = 0;
        if (!m_force && m_clock.elapsed() < 10)
            return false;
        m_force = false;
        m_clock.restart();
        return true;
    }
    // Inside one long item the reader calls back once per 128 KiB read:
    // there the clock alone decides.
    bool dueByClock()
    {
        if (m_clock.elapsed() < 10)
            return false;
        m_clock.restart();
        return true;
    }
    // The first item of a file gets its turn whatever the clock says, so the
    // status line shows every file's name.
    void forceNext()
    {
        m_items = 255;
        m_force = true;
    }

private:
    QElapsedTimer m_clock;
    int m_items = 255;
    bool m_force = true;
};

EventTurns &eventTurns()
{
    static EventTurns turns;
    return turns;
}

void reportSkipped(const QString &path, const QString &reason, const QString &mode)
{
    // A Search and the ship selection after it read the same files: one
    // unreadable file is one file in the report.
    const auto &skipped = passReport.skipped;
    if (std::none_of(skipped.begin(), skipped.end(), [&](const PassReport::Skipped &s) { return s.path == path; }))
        passReport.skipped.push_back({path, reason, mode});
    g_host->reportSkippedFile(path, reason);
}

// An event-loop turn within a read: false when the user asked to stop there
// (`stop` and `userStop` set); else the controls are read again, as the user
// may have edited them.
bool takeTurn(Host &host, bool &stop, bool &userStop)
{
    if (host.processEvents()) {
        stop = true;
        userStop = true;
        return false;
    }
    refreshControls();
    return true;
}

// How a worker's read of a file ended, as far as the pass replayed it.
struct ReadEnd
{
    bool seen = false; // the worker read to the file's end or a read error
    std::uint8_t flags = 0;
    QString error;
    // The criteria changed at an event-loop turn, and the worker judged the
    // file's records by the old ones: the pass reads the file itself, its
    // first `resumeAt` separators already done.
    std::optional<std::uint64_t> resumeAt;
};

// Replays the steps a worker wrote down for the file (readahead.h) on the
// current record, with the matcher and the event-loop turns of the loop in
// readLogFile. `stop` and `userStop` as there. Turns come after the file's
// first item and between chunks, where the steps say how many separators
// they have passed.
ReadEnd replayRead(ReadJob &job, Pass pass, const QString &fileName, bool turnTaken, bool &stop, bool &userStop)
{
    ReadEnd end;
    Host &host = *g_host;
    EventTurns &turns = eventTurns();
    if (!turnTaken)
        turns.forceNext();
    const bool filtered = job.filter().on;
    const auto turn = [&](std::uint64_t separatorsDone) {
        if (!takeTurn(host, stop, userStop))
            return false;
        // Once the steps' end is replayed, the file's last record included,
        // the file is done whatever the criteria now say.
        if (filtered && !end.seen && !job.filter().holds()) {
            end.resumeAt = separatorsDone;
            return false;
        }
        return true;
    };
    const auto set = [](std::string &field, std::string_view text) {
        field.clear();
        field.append(text.data(), text.size());
    };
    StepChunk chunk;
    std::uint64_t progress = 0;
    // The file's first separator, for the summary.
    bool firstSeparator = false, firstIsFirstItem = false;
    std::uint64_t firstSize = 0;
    for (;;) {
        bool timedOut = false;
        if (!job.nextChunk(chunk, 10, timedOut)) {
            if (!timedOut)
                return end;
            // The worker is still reading: the window stays alive meanwhile.
            if (turns.dueByClock() && !turn(progress))
                return end;
            continue;
        }
        StepCursor step(chunk.view());
        while (!step.atEnd()) {
            switch (step.op()) {
            case Step::kMatchAt:
                g_workerPosition.known = true;
                g_workerPosition.latitude = step.number();
                g_workerPosition.longitude = step.number();
                [[fallthrough]];
            case Step::kMatch: {
                // The separator of the same item follows; a stop comes before it.
                const bool limit = !record.recMmsi.empty() && detail::matchRecord(pass, fileName);
                g_workerPosition.known = false;
                if (limit) {
                    stop = true;
                    return end;
                }
                continue;
            }
            case Step::kNote: addNoteToSummary(step.raw(Step::kNoteSize)); continue;
            case Step::kProgress: {
                // The chunk's last step: its separators count as the items
                // of the reader's own loop do.
                const std::uint64_t passed = step.u64();
                const std::uint64_t items = passed - progress;
                progress = passed;
                if (turns.dueAfter(items) && !turn(progress))
                    return end;
                continue;
            }
            case Step::kFirstSeparator:
                firstSeparator = true;
                firstIsFirstItem = step.byte() != 0;
                firstSize = step.u64();
                continue;
            case Step::kSeparator:
            case Step::kStandIn: {
                if (step.last() == Step::kSeparator) {
                    set(record.recTime, step.text());
                    g_timeReplaced = false;
                } else {
                    record.recTime.assign("23:59:59", 8);
                    g_timeReplaced = true;
                }
                if (g_buildingSummary)
                    noteSeparator(firstSeparator && firstIsFirstItem, firstSeparator ? firstSize : 0);
                const bool first = firstSeparator;
                firstSeparator = false;
                // The file's first separator is its first.
                if (first && turns.due() && !turn(1))
                    return end;
                continue;
            }
            case Step::kFirstItem:
                if (turns.due() && !turn(0))
                    return end;
                continue;
            case Step::kEnd:
                end.seen = true;
                end.flags = step.byte();
                end.error = toQString(step.text());
                continue;
            case 2: set(record.recMmsi, step.text()); continue;
            case 3: set(record.recName, step.text()); continue;
            case 4: set(record.recLongitude, step.text()); continue;
            case 5: set(record.recLatitude, step.text()); continue;
            case 6: set(record.recSpeed, step.text()); continue;
            case 7: set(record.recDestination, step.text()); continue;
            case 8: set(record.recEta, step.text()); continue;
            case 9: set(record.recDraught, step.text()); continue;
            case 10: set(record.recNavStatus, step.text()); continue;
            case 11: set(record.recText, step.text()); continue;
            default: continue;
            }
        }
    }
}

} // namespace

bool readLogFile(const QString &fileName, const QString &mode)
{
    Host &host = *g_host;
    host.setStatus(mode + QStringLiteral(" : ") + fileName);

    const Pass pass = passOf(mode);
    const bool allKeys = pass == Pass::List2 || pass == Pass::Export;
    g_view = viewOf(view.viewMode);
    beginFile();
    refreshControls();

    bool stop = false;
    bool userStop = false;
    // A worker of the period pass may be reading the file already.
    std::shared_ptr<ReadJob> job = g_readAhead ? g_readAhead->take(fileName) : nullptr;
    // The day index may answer for the file without reading it.
    const IndexAnswer answer = answerFromIndex(pass, fileName, userStop);
    stop = userStop;
    // The worker read from a record without an MMSI, which every file but the
    // one a pass stopped in leaves behind.
    // Its filter judged the records by the criteria of when it was asked for;
    // and a summary made of the file needs a note of every record.
    if (job && (answer == IndexAnswer::Answered || !record.recMmsi.empty() || !job->filter().holds() ||
                (g_buildingSummary && job->filter().on && !job->filter().notes))) {
        job->abandon();
        job.reset();
    }
    Platform::ItemReader reader;
    const QString path = logFolder + fileName;
    bool readItself = false;
    std::uint64_t separatorsDone = 0; // of a file taken up from a worker's read
    if (answer == IndexAnswer::Answered) {
        // The summary stood for the whole file: nothing to read.
    } else if (job) {
        // The record as the file found it, should the pass have to read the
        // file itself after all.
        const CurrentRecord before = record;
        const bool beforeReplaced = g_timeReplaced;
        const ReadEnd end = replayRead(*job, pass, fileName, answer == IndexAnswer::ReadAfterTurn, stop, userStop);
        job->abandon();
        if (end.resumeAt) {
            record = before;
            g_timeReplaced = beforeReplaced;
            readItself = true;
            separatorsDone = *end.resumeAt;
        } else if (end.flags & Step::kOpenFailed) {
            reportSkipped(path, end.error, mode);
            finishFile(fileName, false, false);
        } else {
            if (end.flags & Step::kReadFailed)
                reportSkipped(path, end.error, mode);
            finishFile(fileName, !stop && end.seen && !(end.flags & Step::kReadFailed), end.flags & Step::kHasItems);
        }
    } else {
        readItself = true;
    }
    if (!readItself) {
        // Done above.
    } else if (!reader.open(path)) {
        reportSkipped(path, reader.errorString(), mode);
        finishFile(fileName, false, false);
    } else {
        EventTurns &turns = eventTurns();
        if (answer != IndexAnswer::ReadAfterTurn && separatorsDone == 0)
            turns.forceNext();
        // A turn that asks to stop sets `stop`; the loop below then leaves
        // before the item is looked at.
        const auto turn = [&] { return takeTurn(host, stop, userStop); };
        reader.setLongItemHook([&] { return !turns.dueByClock() || turn(); });
        const labels::LabelTable &keys = allKeys ? kAllKeys : kSearchKeys;
        bool firstItem = true;
        // One item; false ends the read (`stop` is set then).
        const auto take = [&](std::string_view item) __attribute__((always_inline)) {
            const Classified c = classify(item, keys);
            const bool first = firstItem;
            firstItem = false;
            switch (c.key) {
            case kNoKey: break;
            case kSeparatorKey:
                if (separatorsDone > 0) {
                    // Replayed already: the record is emptied as its match did.
                    --separatorsDone;
                    if (!record.recMmsi.empty())
                        emptyRecord();
                } else if (!record.recMmsi.empty() && detail::matchRecord(pass, fileName)) {
                    stop = true;
                    return false;
                }
                // The hyphens alone, a record's closing line, hold no time.
                if (item.size() == kSeparator.size()) {
                    g_timeReplaced = true;
                } else {
                    assignLastChars(record.recTime, item, 8);
                    g_timeReplaced = !timeIsValid(record.recTime);
                }
                if (g_timeReplaced)
                    assignStandInTime(record.recTime);
                noteSeparator(first, item.size());
                break;
            case 2:
                // The MMSI is the item's last nine characters; its "=" plays no part.
                assignLastChars(record.recMmsi, item, 9);
                break;
            case 3: assignItemText(record.recName, valueOf(item, c.firstEquals)); break;
            case 4: assignItemText(record.recLongitude, valueOf(item, c.firstEquals)); break;
            case 5: assignItemText(record.recLatitude, valueOf(item, c.firstEquals)); break;
            case 6: {
                const std::string_view value = valueOf(item, c.firstEquals);
                const std::size_t unit = speedUnitAt(value);
                if (unit == std::string_view::npos)
                    record.recSpeed = "0";
                else
                    assignItemText(record.recSpeed, value.substr(0, unit));
                break;
            }
            case 7: assignItemText(record.recDestination, valueOf(item, c.firstEquals)); break;
            case 8: assignItemText(record.recEta, valueOf(item, c.firstEquals)); break;
            case 9: assignItemText(record.recDraught, valueOf(item, c.firstEquals)); break;
            case 10: assignItemText(record.recNavStatus, valueOf(item, c.firstEquals)); break;
            case 11: assignItemText(record.recText, valueOf(item, c.firstEquals)); break;
            default: break;
            }
            return !turns.due() || turn();
        };
        if (stop) {
            // Stopped at the index's turn: the first read still happens, so
            // that a file that cannot be read is reported as ever.
            std::string_view item;
            reader.next(item);
        } else {
            reader.forEach(take);
        }
        if (!stop && !record.recMmsi.empty())
            stop = detail::matchRecord(pass, fileName);
        if (reader.failed())
            reportSkipped(path, reader.errorString(), mode);
        finishFile(fileName, !stop && !reader.failed(), !firstItem);
        reader.close();
    }
    if (userStop) {
        // The record being read is half a record: handed to the next pass, it
        // would carry this file's MMSI and position into another file.
        emptyRecord();
        passReport.stops.push_back({mode, fileName});
    }

    for (const ChartPrimitive &p : Chart::overflowCounts(view.hourCount))
        host.draw(p);
    host.setStatus(QString());
    return stop;
}

} // namespace Module1

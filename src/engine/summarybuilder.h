#pragma once

// The summary of the day log being read, for the day index. Not for use
// outside the engine.
//
// The reading thread only notes each record's MMSI and position into a batch;
// a thread of its own keeps the table of ships (counts, boxes, cells, names)
// and sorts it out at the file's end. The thread that reads a period is what
// the user waits for, and on a machine with a second core the table then
// costs it next to nothing: the first pass over a period takes hardly longer
// than a pass without the index.

#include "engine/dayindex.h"
#include "engine/module1.h"
#include "engine/station.h"

#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Module1::detail {

class ShipTable;

class SummaryBuilder
{
public:
    SummaryBuilder();
    ~SummaryBuilder();
    SummaryBuilder(const SummaryBuilder &) = delete;
    SummaryBuilder &operator=(const SummaryBuilder &) = delete;

    // A new file from its first byte; a file started and not finished is dropped.
    void start();

    // A record handed over by the matcher. `known` says the matcher read the
    // position for the areas; otherwise the texts go along and are read on
    // the other thread, with the same rule. Taken for every record: the usual
    // one (a nine-byte MMSI, no name) is a few stores.
    void add(const CurrentRecord &r, bool known, double latitude, double longitude)
    {
        const std::string &mmsi = r.recMmsi;
        const std::string &lat = r.recLatitude, &lon = r.recLongitude;
        const std::uint64_t stamp = m_time | (lat.empty() || lon.empty() ? kNoPositionTime : 0);
        if (mmsi.size() != 9 || !r.recName.empty() || (!known && (lat.size() > 8 || lon.size() > 8))) [[unlikely]] {
            addOther(r, known, latitude, longitude, stamp);
            return;
        }
        Note &n = *m_cursor;
        n.time = stamp;
        std::memcpy(&n.low, mmsi.data(), 8);
        std::uint64_t high = static_cast<unsigned char>(mmsi[8]) | (std::uint64_t(9) << 56);
        if (known) {
            n.latitude = latitude;
            n.longitude = longitude;
        } else {
            // A std::string's buffer always holds at least 16 bytes (its
            // small-string room or more): eight can be copied whatever the length.
            std::memcpy(&n.latitude, lat.data(), 8);
            std::memcpy(&n.longitude, lon.data(), 8);
            high |= kShortTexts | (std::uint64_t(lat.size()) << 48) | (std::uint64_t(lon.size()) << 52);
        }
        n.high = high;
        if (++m_cursor == m_batchEnd) [[unlikely]]
            submitFull();
    }

    // A note a worker reading ahead made of a record as add() would have.
    void addNote(const void *note)
    {
        std::memcpy(m_cursor, note, sizeof(Note));
        if (++m_cursor == m_batchEnd) [[unlikely]]
            submitFull();
    }

    // A separator: the file sets the time; the first item's is the file's first time.
    void separator(bool firstItem, std::size_t itemSize, const std::string &time, bool replaced);
    // The time of the records from the last separator on: its eight bytes
    // go along as they are, and are read on the other thread.
    void setTime(const std::string &time, bool replaced)
    {
        std::uint64_t raw = 0;
        if (time.size() == 8 && !replaced)
            std::memcpy(&raw, time.data(), 8);
        // The top bit marks a record without a position; a time with that
        // bit set is no time of day anyway.
        m_time = raw & kNoPositionTime ? 0 : raw;
    }
    // Whether the file can still be summarised (see separator()).
    bool usable() const { return m_usable; }

    // The file read to its end: its summary, once the other thread has
    // caught up with it. `r` is the record the file leaves behind.
    DaySummary finish(bool hasItems, const CurrentRecord &r, bool timeReplaced)
    {
        finishLater(hasItems, r, timeReplaced);
        return result();
    }
    // The same in two steps, so that the reader can go on with the next file
    // while the other thread sorts out this one's ships.
    void finishLater(bool hasItems, const CurrentRecord &r, bool timeReplaced);
    DaySummary result();
    // The file was not read to its end: what was noted is dropped.
    void discard();

    // A note: the MMSI's bytes as the table's key (length in the top byte's
    // low half, flags in its high half) and the position, as numbers when the
    // matcher read them, else as texts.
    struct Note
    {
        std::uint64_t low, high;
        double latitude, longitude;
        std::uint64_t time; // for the station's figures: see setTime()
    };
    // What goes with a note in `texts`, in this order.
    static constexpr std::uint64_t kLongMmsi = 1ull << 60;      // the MMSI (over kLongKey bytes)
    static constexpr std::uint64_t kPositionTexts = 1ull << 61; // latitude, then longitude
    static constexpr std::uint64_t kNamed = 1ull << 62;         // the name
    // The position's texts of up to 8 bytes each in place of the numbers, their
    // lengths in the key's bits 48 to 55 (a nine-byte MMSI leaves those free).
    static constexpr std::uint64_t kShortTexts = 1ull << 63;
    static constexpr std::uint64_t kFlags = kLongMmsi | kPositionTexts | kNamed | kShortTexts;
    static constexpr std::size_t kLongKey = 15;
    static constexpr std::uint64_t kNoPositionTime = 1ull << 63;

private:
    static constexpr std::size_t kBatchNotes = 4096;
    // Batches in flight at most: should the other thread fall behind (one
    // core, a busy machine), the reader waits rather than memory growing.
    static constexpr int kMaxBatches = 16;
    // The other thread is woken only once this many batches wait for it (or a
    // file ends). A wake-up costs the reader a system call, and on a virtual
    // machine an interrupt sent to the other core: waking it for every batch
    // made about a tenth of what the summary costs the first pass.
    static constexpr std::size_t kWakeAt = kMaxBatches / 2;

    struct Batch
    {
        std::vector<Note> notes = std::vector<Note>(kBatchNotes);
        std::size_t count = 0;
        std::vector<std::string> texts;
        enum class End { None, Finish, Discard } end = End::None;
    };

    void addOther(const CurrentRecord &r, bool known, double latitude, double longitude, std::uint64_t stamp);
    std::uint64_t positionTexts(const CurrentRecord &r, Note &n, std::uint64_t high);
    void submitFull();
    void handOver(Batch::End end);
    void takeBatch(std::unique_ptr<Batch> batch);
    void submit(std::unique_ptr<Batch> batch);
    std::unique_ptr<Batch> freeBatch();
    void run();

    std::unique_ptr<Batch> m_batch; // being filled, up to m_cursor
    Note *m_cursor = nullptr;
    Note *m_batchEnd = nullptr;
    std::uint64_t m_time = 0; // 0: no time
    DaySummary m_summary;           // what the reader itself knows of the file
    DaySummary m_finished;          // the same of the file finished last
    bool m_usable = true;
    bool m_started = false;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::unique_ptr<Batch>> m_queue; // to the other thread
    std::vector<std::unique_ptr<Batch>> m_free; // back from it
    int m_batches = 0;                          // made so far
    bool m_resultReady = false;
    bool m_quit = false;
    std::unique_ptr<ShipTable> m_table; // the other thread's alone
    std::thread m_thread;
};

// A worker's note of a record for the summary being made, if one is (dayindex.cpp).
void addNoteToSummary(const void *note);

} // namespace Module1::detail

#pragma once

// Day logs read ahead on worker threads for a period pass.
//
// A worker reads one day log from an empty record and writes down, in order,
// what the reader would do to the current record: the fields it assigns, each
// separator's time, and the moments it hands the record to the matcher. The
// pass's own thread replays those steps on the real record and calls the real
// matcher, in the period's day order, so everything that depends on the order
// (the ship list, names, the limit, the day summaries, the state a file leaves
// for the next) comes out exactly as when that thread reads the files itself.
// What the worker spares it is the reading: finding items and classifying them,
// the larger part of a pass.
//
// Most records change nothing a pass shows: a Search with an area lists the
// few ships inside it. Once the file's first record has gone to the matcher,
// the record is empty after every match, and the worker knows it exactly; from
// then on it judges each record with the criteria as they stood when the file
// was asked for (a ReadFilter) and writes down only those the pass's thread
// must see: the matches that can change a list, the records that name a ship,
// every record of an export or of a passage's ship. Of the others it writes at
// most the note the day's summary takes. Should the user edit the criteria
// during the pass, the pass's thread notices at its next event-loop turn and
// reads the rest of the file itself (ReadEnd::resumeAt in reader.cpp).
//
// Steps travel in chunks of a bounded size, and a worker waits while the chunks
// it has written and the pass has not yet replayed reach a bound (16 MB for
// all workers): a day of 300 MB never sits in memory whole.

#include "engine/internal.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace Module1::detail {

// One step as the worker writes it: an opcode byte, then its data.
namespace Step {
// Opcodes 2 to 11 assign the field of that key: a 4-byte length, the bytes.
inline constexpr std::uint8_t kMatch = 20;      // hand the record to the matcher
// The same, with the numbers the matcher takes of the record's longitude and
// latitude texts (two doubles), when both texts were assigned in this file.
inline constexpr std::uint8_t kMatchAt = 21;
// A separator with a readable time: the time's length (4 bytes) and the time.
inline constexpr std::uint8_t kSeparator = 22;
// A separator without one, which stands in "23:59:59".
inline constexpr std::uint8_t kStandIn = 23;
// Before the separator step of the file's first separator, for the day's
// summary: whether it is the file's first item (1 byte) and its size (8 bytes).
inline constexpr std::uint8_t kFirstSeparator = 24;
// The file's first item when it is not a separator, after its step if any:
// the place of the first event-loop turn.
inline constexpr std::uint8_t kFirstItem = 25;
// How the read ended, before the match of a record left at the file's end:
// flags (bit 0 the file did not open, bit 1 reading failed, bit 2 the file
// had items) and the reader's error as a text.
inline constexpr std::uint8_t kEnd = 26;
inline constexpr std::uint8_t kOpenFailed = 1, kReadFailed = 2, kHasItems = 4;
// A record the pass's thread need not see, matched: the note the day's summary
// takes of it (SummaryBuilder::Note, 40 bytes).
inline constexpr std::uint8_t kNote = 27;
// At the end of every chunk: the separators the steps so far have passed (8
// bytes), where a pass that can no longer use the steps takes the file up.
inline constexpr std::uint8_t kProgress = 28;
inline constexpr std::size_t kNoteSize = 40;
} // namespace Step

// The criteria a worker judges records by, as they stood when its file was
// asked for. Off: every record goes to the pass's thread.
struct ReadFilter
{
    bool on = false;
    Pass pass = Pass::Search;
    Criteria criteria;
    std::string selectedMmsi; // the ship whose days a ship selection lists
    bool notes = false;       // the file's summary may be made: note every record

    // The criteria of now, as the matcher reads them, are still these.
    bool holds() const;
};

class StepBuffer;

// Steps as handed over: bytes left uninitialised beyond `size`.
struct StepChunk
{
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
    std::string_view view() const { return {bytes.get(), size}; }
};

// One day log being read ahead.
class ReadJob
{
public:
    ReadJob(QString fileName, QString path, std::size_t chunksInFlight, ReadFilter filter)
        : m_fileName(std::move(fileName)), m_path(std::move(path)), m_chunksInFlight(chunksInFlight),
          m_filter(std::move(filter)) {}

    const QString &fileName() const { return m_fileName; }
    const ReadFilter &filter() const { return m_filter; }

    // The next chunk of steps for the pass: true with `chunk` filled, or false
    // when the steps are all delivered. Waits at most `timeoutMs` for the
    // worker; `timedOut` says it did.
    bool nextChunk(StepChunk &chunk, int timeoutMs, bool &timedOut);

    // The pass no longer wants the steps: the worker stops, the chunks go.
    void abandon();

private:
    friend class ReadAhead;

    // The worker's side.
    void run(bool allKeys, const std::atomic<bool> &cancelled);
    bool deliver(StepBuffer &steps, std::uint64_t separators, const std::atomic<bool> &cancelled);
    void markDone();

    const QString m_fileName;
    const QString m_path;
    const std::size_t m_chunksInFlight;
    const ReadFilter m_filter;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<StepChunk> m_chunks;
    bool m_done = false;
    bool m_abandoned = false; // the pass no longer wants it
};

class ReadAhead
{
public:
    // `jobs` workers; `allKeys` as the pass reads (every key, or up to the speed).
    ReadAhead(int jobs, bool allKeys);
    ~ReadAhead();
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    int jobs() const { return m_jobs; }
    // Files asked for and not yet taken by the pass.
    int outstanding();
    // Queues a day log of the period, in the period's order, for the next free worker.
    void request(const QString &fileName, const QString &path, const ReadFilter &filter);
    // The pass reaches the file: its job if it was asked for. Every job of a
    // file before it in the folder's order is abandoned, as the pass is past it.
    std::shared_ptr<ReadJob> take(const QString &fileName);
    // Every worker stops within a few microseconds of reading.
    void cancel();

private:
    void work();

    const int m_jobs;
    const bool m_allKeys;
    std::atomic<bool> m_cancelled{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::shared_ptr<ReadJob>> m_waiting;  // asked for, no worker yet
    std::deque<std::shared_ptr<ReadJob>> m_asked;    // asked for, not yet taken by the pass
    bool m_quit = false;
    std::vector<std::thread> m_threads;
};

// The read-ahead of the period pass running now, or null: views, single files
// and one-thread passes read for themselves.
extern ReadAhead *g_readAhead;

// Steps decoded from a chunk.
class StepCursor
{
public:
    explicit StepCursor(std::string_view chunk) : m_p(chunk.data()), m_end(chunk.data() + chunk.size()) {}
    bool atEnd() const { return m_p >= m_end; }
    std::uint8_t op()
    {
        m_last = static_cast<std::uint8_t>(*m_p++);
        return m_last;
    }
    std::uint8_t last() const { return m_last; }
    std::uint8_t byte() { return static_cast<std::uint8_t>(*m_p++); }
    std::uint64_t u64()
    {
        std::uint64_t v;
        std::memcpy(&v, m_p, 8);
        m_p += 8;
        return v;
    }
    double number()
    {
        double v;
        std::memcpy(&v, m_p, 8);
        m_p += 8;
        return v;
    }
    const char *raw(std::size_t n)
    {
        const char *p = m_p;
        m_p += n;
        return p;
    }
    std::string_view text()
    {
        std::uint32_t n;
        std::memcpy(&n, m_p, 4);
        m_p += 4;
        const std::string_view t(m_p, n);
        m_p += n;
        return t;
    }

private:
    const char *m_p;
    const char *m_end;
    std::uint8_t m_last = 0;
};

} // namespace Module1::detail

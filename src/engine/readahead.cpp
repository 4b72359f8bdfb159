#include "engine/readahead.h"

#include "engine/itemrules.h"
#include "engine/module1.h"
#include "engine/numbers.h"
#include "engine/summarybuilder.h"
#include "platform/itemreader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_set>

namespace Module1::detail {

using namespace ItemRules;

ReadAhead *g_readAhead = nullptr;

namespace {

// A chunk is handed over once it holds this much. The chunks waiting to be
// replayed share 16 MB among the workers, at least 1 MB each: a worker waits
// when its file's share is full. The steps of a day are about a quarter of
// its text, so a day of up to 30 MB is read ahead whole on two threads.
constexpr std::size_t kChunkBytes = 256 * 1024;
constexpr std::size_t kChunkBudget = 64;
constexpr std::size_t kMinChunksInFlight = 4;
// Room for the largest step: an item of 64 KiB whose every byte becomes U+FFFD.
constexpr std::size_t kChunkReserve = kChunkBytes + 3 * Platform::ItemReader::kMaxItem + 32;

} // namespace

// Steps written through a pointer into room made once a chunk and checked once
// an item: the string's own appends check the capacity for every byte.
class StepBuffer
{
public:
    StepBuffer() { renew(kChunkReserve); }
    std::size_t size() const { return std::size_t(m_p - m_chunk.bytes.get()); }
    // Room for `n` more bytes.
    void room(std::size_t n)
    {
        if (m_capacity - size() < n) {
            const std::size_t used = size();
            StepChunk old = std::move(m_chunk);
            renew(used + n + kChunkReserve);
            std::memcpy(m_chunk.bytes.get(), old.bytes.get(), used);
            m_p += used;
        }
    }
    void byte(std::uint8_t b) { *m_p++ = char(b); }
    void bytes(const void *data, std::size_t n)
    {
        std::memcpy(m_p, data, n);
        m_p += n;
    }
    void u32(std::uint32_t v) { bytes(&v, 4); }
    void u64(std::uint64_t v) { bytes(&v, 8); }
    void number(double v) { bytes(&v, 8); }
    void text(std::uint8_t op, std::string_view t)
    {
        byte(op);
        u32(static_cast<std::uint32_t>(t.size()));
        bytes(t.data(), t.size());
    }
    void end(std::uint8_t flags, const QString &error)
    {
        const std::string e = error.toStdString();
        room(e.size() + 16);
        byte(Step::kEnd);
        byte(flags);
        u32(static_cast<std::uint32_t>(e.size()));
        bytes(e.data(), e.size());
    }
    StepChunk take()
    {
        m_chunk.size = size();
        StepChunk chunk = std::move(m_chunk);
        renew(kChunkReserve);
        return chunk;
    }

private:
    void renew(std::size_t capacity)
    {
        // Not value-initialised: a chunk's bytes are all written before they are read.
        m_chunk.bytes.reset(new char[capacity]);
        m_chunk.size = 0;
        m_capacity = capacity;
        m_p = m_chunk.bytes.get();
    }

    StepChunk m_chunk;
    std::size_t m_capacity = 0;
    char *m_p = nullptr;
};


namespace {

// What a worker knows of the record once the pass's thread holds an empty one
// (after a match): the fields assigned since, and the time of its separator.
struct HeldRecord
{
    std::array<std::string, 12> field; // by key, 2 to 11
    std::uint16_t assigned = 0;        // bit k: field k assigned since the match
    std::size_t bytes = 0;             // their sizes, for the room to write them
    std::string time;
    bool standIn = false;
    bool timeWritten = true; // the pass's thread has the time already

    // The field's string, to assign in place: one copy of the value, not two.
    std::string &slot(int key) { return field[static_cast<std::size_t>(key)]; }
    void mark(int key)
    {
        assigned |= std::uint16_t(1u << key);
        bytes += field[static_cast<std::size_t>(key)].size();
    }
    const std::string &operator[](int key) const { return field[static_cast<std::size_t>(key)]; }
    void clear()
    {
        for (int k = 2; k <= 11; ++k) {
            if (assigned & (1u << k))
                field[static_cast<std::size_t>(k)].clear();
        }
        assigned = 0;
        bytes = 0;
    }
};

// Whether the pass's thread must see a record the worker holds, as the
// matcher would treat it under the filter's criteria. Records that change
// nothing but the day's summary are left out.
class Judge
{
public:
    explicit Judge(const ReadFilter &filter) : m_filter(filter)
    {
        for (int k = 0; k < 3; ++k) {
            if (filter.criteria.areaOn[static_cast<std::size_t>(k)])
                m_squares[m_areas++] = squareOf(filter.criteria, k);
        }
    }

    bool wants(const HeldRecord &r, double longitude, double latitude)
    {
        const std::string &mmsi = r[2];
        const Criteria &c = m_filter.criteria;
        const bool mmsiPasses = c.mmsi.empty() || mmsi == c.mmsi;
        switch (m_filter.pass) {
        case Pass::Search: {
            // A name may refresh a listed ship's; of the matches, the first
            // of each ship in the file lists it, and the later ones find it
            // listed.
            const bool named = !r[3].empty();
            if (mmsiPasses && inAreas(longitude, latitude) && m_listed.insert(mmsi).second)
                return true;
            return named;
        }
        case Pass::List1:
            if (m_fileListed || mmsi != m_filter.selectedMmsi || !mmsiPasses || !inAreas(longitude, latitude))
                return false;
            m_fileListed = true;
            return true;
        case Pass::Export: return mmsiPasses && inAreas(longitude, latitude);
        case Pass::Passages: return mmsiPasses;
        case Pass::Report: return false;
        case Pass::List2: break;
        }
        return true;
    }

private:
    bool inAreas(double longitude, double latitude) const
    {
        if (m_areas == 0)
            return true;
        for (int k = 0; k < m_areas; ++k) {
            const Square &q = m_squares[k];
            if (q.lonLow <= longitude && longitude <= q.lonHigh && q.latLow <= latitude && latitude <= q.latHigh)
                return true;
        }
        return false;
    }

    const ReadFilter &m_filter;
    Square m_squares[3]{};
    int m_areas = 0;
    std::unordered_set<std::string> m_listed;
    bool m_fileListed = false;
};

// The note SummaryBuilder::add() makes of the usual record: a nine-byte MMSI,
// no name, the position as numbers or as texts of up to eight bytes. False for
// any other record, which the pass's thread then notes itself.
bool makeNote(const HeldRecord &r, bool numbers, double longitude, double latitude, char *note)
{
    const std::string &mmsi = r[2], &lat = r[5], &lon = r[4];
    if (mmsi.size() != 9 || !r[3].empty() || (!numbers && (lat.size() > 8 || lon.size() > 8)))
        return false;
    SummaryBuilder::Note n;
    std::uint64_t time = 0;
    if (r.time.size() == 8 && !r.standIn)
        std::memcpy(&time, r.time.data(), 8);
    if (time & SummaryBuilder::kNoPositionTime)
        time = 0;
    n.time = time | (lat.empty() || lon.empty() ? SummaryBuilder::kNoPositionTime : 0);
    std::memcpy(&n.low, mmsi.data(), 8);
    std::uint64_t high = static_cast<unsigned char>(mmsi[8]) | (std::uint64_t(9) << 56);
    if (numbers) {
        n.latitude = latitude;
        n.longitude = longitude;
    } else {
        // As add() does: a std::string holds at least 16 readable bytes.
        std::memcpy(&n.latitude, lat.data(), 8);
        std::memcpy(&n.longitude, lon.data(), 8);
        high |= SummaryBuilder::kShortTexts | (std::uint64_t(lat.size()) << 48) | (std::uint64_t(lon.size()) << 52);
    }
    n.high = high;
    static_assert(sizeof n == Step::kNoteSize);
    std::memcpy(note, &n, sizeof n);
    return true;
}

} // namespace

bool ReadFilter::holds() const
{
    if (!on)
        return true;
    const Criteria &now = g_criteria;
    if (now.mmsi != criteria.mmsi || now.areaOn != criteria.areaOn)
        return false;
    for (std::size_t k = 0; k < 3; ++k) {
        // Compared as bits: a field that reads as no number stays that.
        if (criteria.areaOn[k] && (std::memcmp(&now.latitude[k], &criteria.latitude[k], sizeof(double)) != 0 ||
                                   std::memcmp(&now.longitude[k], &criteria.longitude[k], sizeof(double)) != 0 ||
                                   std::memcmp(&now.range[k], &criteria.range[k], sizeof(double)) != 0))
            return false;
    }
    return pass != Pass::List1 || search.selectedMmsi == selectedMmsi;
}

// The reader's loop (reader.cpp) with the record's changes written down
// instead of made. The only state it needs of the record is whether it holds
// an MMSI: a file starts without one, as every read before it ended by handing
// its last record to the matcher. From the file's first match on, with a
// filter, it holds the record itself (see readahead.h).
void ReadJob::run(bool allKeys, const std::atomic<bool> &cancelled)
{
    Platform::ItemReader reader;
    StepBuffer out;
    std::uint64_t separators = 0;
    if (!reader.open(m_path)) {
        out.end(Step::kOpenFailed, reader.errorString());
        if (deliver(out, separators, cancelled))
            markDone();
        return;
    }
    reader.setLongItemHook([&] { return !cancelled.load(std::memory_order_relaxed); });
    std::string value;
    bool hasMmsi = false;
    bool firstItem = true;
    bool seenSeparator = false;
    // The matcher's numbers of the longitude and latitude texts, while the
    // record holds texts assigned in this file: the pass's thread need not
    // parse them again.
    bool hasLongitude = false, hasLatitude = false;
    double longitude = 0, latitude = 0;
    // The numbers of a text never assigned since the record was emptied.
    const double emptyNumber = positionNumber(std::string_view());
    bool holding = false;
    HeldRecord held;
    Judge judge(m_filter);
    const auto writeTime = [&] {
        if (held.standIn)
            out.byte(Step::kStandIn);
        else
            out.text(Step::kSeparator, held.time);
        held.timeWritten = true;
    };
    const auto writeHeldFields = [&] {
        out.room(held.bytes + 10 * 5 + held.time.size() + 64);
        if (!held.timeWritten)
            writeTime();
        for (int k = 2; k <= 11; ++k) {
            if (held.assigned & (1u << k))
                out.text(static_cast<std::uint8_t>(k), held[k]);
        }
    };
    const auto match = [&] {
        if (holding) {
            const double lon = hasLongitude ? longitude : emptyNumber;
            const double lat = hasLatitude ? latitude : emptyNumber;
            char note[Step::kNoteSize];
            if (judge.wants(held, lon, lat) ||
                (m_filter.notes && !makeNote(held, hasLongitude && hasLatitude, lon, lat, note))) {
                writeHeldFields();
            } else {
                if (m_filter.notes) {
                    out.byte(Step::kNote);
                    out.bytes(note, sizeof note);
                }
                held.clear();
                hasMmsi = hasLongitude = hasLatitude = false;
                return;
            }
            held.clear();
        }
        if (hasLongitude && hasLatitude) {
            out.byte(Step::kMatchAt);
            out.number(latitude);
            out.number(longitude);
        } else {
            out.byte(Step::kMatch);
        }
        hasMmsi = hasLongitude = hasLatitude = false;
        // The pass's thread empties its record in the match.
        holding = m_filter.on;
    };
    // Where an item's value goes: the held record's field, or a step.
    const auto into = [&](int key) -> std::string & { return holding ? held.slot(key) : value; };
    const auto assigned = [&](int key) {
        if (holding)
            held.mark(key);
        else
            out.text(static_cast<std::uint8_t>(key), value);
    };
    const labels::LabelTable &keys = allKeys ? kAllKeys : kSearchKeys;
    unsigned items = 0;
    bool quit = false;
    // One item; false ends the read (`quit` is set then).
    const auto take = [&](std::string_view item) __attribute__((always_inline)) {
        const Classified c = classify(item, keys);
        // While the worker holds the record, only a separator writes steps.
        const bool writes = !holding || firstItem || c.key == kSeparatorKey;
        // The largest steps an item can give: a match, the first separator,
        // and a value whose every byte became U+FFFD.
        if (writes)
            out.room(3 * item.size() + 64);
        switch (c.key) {
        case kNoKey: break;
        case kSeparatorKey: {
            if (hasMmsi)
                match();
            ++separators;
            // The hyphens alone, a record's closing line, hold no time.
            bool valid = false;
            if (item.size() != kSeparator.size()) {
                assignLastChars(value, item, 8);
                valid = timeIsValid(value);
            }
            if (!seenSeparator) {
                seenSeparator = true;
                out.byte(Step::kFirstSeparator);
                out.byte(firstItem ? 1 : 0);
                out.u64(item.size());
            }
            if (holding && separators > 1) {
                // Written only should a record of it go to the pass's thread.
                if (valid)
                    held.time.assign(value);
                held.standIn = !valid;
                held.timeWritten = false;
            } else {
                held.timeWritten = true;
                if (valid)
                    out.text(Step::kSeparator, value);
                else
                    out.byte(Step::kStandIn);
                if (holding) {
                    if (valid)
                        held.time.assign(value);
                    held.standIn = !valid;
                }
            }
            break;
        }
        case 2: {
            std::string &mmsi = into(2);
            assignLastChars(mmsi, item, 9);
            hasMmsi = !mmsi.empty();
            assigned(2);
            break;
        }
        case 4:
        case 5: {
            std::string &text = into(c.key);
            assignItemText(text, valueOf(item, c.firstEquals));
            if (c.key == 4) {
                longitude = positionNumber(text);
                hasLongitude = true;
            } else {
                latitude = positionNumber(text);
                hasLatitude = true;
            }
            assigned(c.key);
            break;
        }
        case 6: {
            const std::string_view v = valueOf(item, c.firstEquals);
            const std::size_t unit = speedUnitAt(v);
            std::string &speed = into(6);
            if (unit == std::string_view::npos)
                speed.assign("0", 1);
            else
                assignItemText(speed, v.substr(0, unit));
            assigned(6);
            break;
        }
        default:
            assignItemText(into(c.key), valueOf(item, c.firstEquals));
            assigned(c.key);
            break;
        }
        if (firstItem && c.key != kSeparatorKey)
            out.byte(Step::kFirstItem);
        firstItem = false;
        if ((writes && out.size() >= kChunkBytes && !deliver(out, separators, cancelled)) ||
            ((++items & 255) == 0 && cancelled.load(std::memory_order_relaxed))) [[unlikely]] {
            quit = true;
            return false;
        }
        return true;
    };
    reader.forEach(take);
    if (quit)
        return;
    if (cancelled.load(std::memory_order_relaxed))
        return; // the item where it stopped may be cut short: no end
    // The record the file leaves behind: its time and, without an MMSI, its
    // fields, as the next file and the day's summary find them.
    if (holding && !held.timeWritten) {
        out.room(held.time.size() + 16);
        writeTime();
    }
    if (holding && !hasMmsi) {
        writeHeldFields();
        held.clear();
    }
    out.end(static_cast<std::uint8_t>((reader.failed() ? Step::kReadFailed : 0) | (firstItem ? 0 : Step::kHasItems)),
            reader.failed() ? reader.errorString() : QString());
    out.room(64);
    if (hasMmsi)
        match();
    if (deliver(out, separators, cancelled))
        markDone();
}

void ReadJob::markDone()
{
    const std::lock_guard lock(m_mutex);
    m_done = true;
    m_changed.notify_all();
}

bool ReadJob::deliver(StepBuffer &steps, std::uint64_t separators, const std::atomic<bool> &cancelled)
{
    steps.room(16);
    steps.byte(Step::kProgress);
    steps.u64(separators);
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] {
        return m_chunks.size() < m_chunksInFlight || m_abandoned || cancelled.load(std::memory_order_relaxed);
    });
    if (m_abandoned || cancelled.load(std::memory_order_relaxed))
        return false;
    m_chunks.push_back(steps.take());
    m_changed.notify_all();
    return true;
}

bool ReadJob::nextChunk(StepChunk &chunk, int timeoutMs, bool &timedOut)
{
    std::unique_lock lock(m_mutex);
    timedOut = !m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [this] { return !m_chunks.empty() || m_done; });
    if (timedOut || m_chunks.empty())
        return false;
    chunk = std::move(m_chunks.front());
    m_chunks.pop_front();
    m_changed.notify_all();
    return true;
}

void ReadJob::abandon()
{
    const std::lock_guard lock(m_mutex);
    m_abandoned = true;
    m_chunks.clear();
    m_changed.notify_all();
}

ReadAhead::ReadAhead(int jobs, bool allKeys) : m_jobs(jobs), m_allKeys(allKeys)
{
    m_threads.reserve(static_cast<std::size_t>(jobs));
    for (int i = 0; i < jobs; ++i)
        m_threads.emplace_back([this] { work(); });
}

ReadAhead::~ReadAhead()
{
    cancel();
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
        m_wake.notify_all();
    }
    for (std::thread &t : m_threads)
        t.join();
}

int ReadAhead::outstanding()
{
    const std::lock_guard lock(m_mutex);
    return static_cast<int>(m_asked.size());
}

void ReadAhead::request(const QString &fileName, const QString &path, const ReadFilter &filter)
{
    auto job = std::make_shared<ReadJob>(fileName, path,
                                         std::max(kMinChunksInFlight, kChunkBudget / std::size_t(m_jobs)), filter);
    const std::lock_guard lock(m_mutex);
    m_waiting.push_back(job);
    m_asked.push_back(std::move(job));
    m_wake.notify_one();
}

std::shared_ptr<ReadJob> ReadAhead::take(const QString &fileName)
{
    std::shared_ptr<ReadJob> found;
    std::vector<std::shared_ptr<ReadJob>> passed;
    {
        const std::lock_guard lock(m_mutex);
        // Jobs are asked for in the folder's order of names: those before this
        // file are behind the pass, whether or not this one was asked for.
        const QByteArray name = fileName.toUtf8();
        auto it = m_asked.begin();
        while (it != m_asked.end() && (*it)->fileName().toUtf8() < name)
            ++it;
        passed.assign(m_asked.begin(), it);
        if (it != m_asked.end() && (*it)->fileName() == fileName) {
            found = *it;
            ++it;
        }
        m_asked.erase(m_asked.begin(), it);
        // A job no worker has started is simply dropped.
        for (const auto &job : passed)
            std::erase(m_waiting, job);
    }
    for (const auto &job : passed)
        job->abandon();
    return found;
}

void ReadAhead::cancel()
{
    m_cancelled.store(true, std::memory_order_relaxed);
    std::vector<std::shared_ptr<ReadJob>> asked;
    {
        const std::lock_guard lock(m_mutex);
        m_waiting.clear();
        asked.assign(m_asked.begin(), m_asked.end());
        m_asked.clear();
    }
    for (const auto &job : asked)
        job->abandon();
}

void ReadAhead::work()
{
    for (;;) {
        std::shared_ptr<ReadJob> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_quit || !m_waiting.empty(); });
            if (m_waiting.empty())
                return;
            job = std::move(m_waiting.front());
            m_waiting.pop_front();
        }
        if (!m_cancelled.load(std::memory_order_relaxed))
            job->run(m_allKeys, m_cancelled);
        // A job left unfinished (cancelled, abandoned) must not keep the pass
        // waiting; its steps then lack their end, which the pass notices.
        job->markDone();
    }
}

} // namespace Module1::detail

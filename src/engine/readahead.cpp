#include "engine/readahead.h"

#include "engine/itemrules.h"
#include "engine/numbers.h"
#include "platform/itemreader.h"

#include <algorithm>
#include <cstring>

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


// The reader's loop (reader.cpp) with the record's changes written down
// instead of made. The only state it needs of the record is whether it holds
// an MMSI: a file starts without one, as every read before it ended by handing
// its last record to the matcher.
void ReadJob::run(bool allKeys, const std::atomic<bool> &cancelled)
{
    Platform::ItemReader reader;
    StepBuffer out;
    if (!reader.open(m_path)) {
        out.end(Step::kOpenFailed, reader.errorString());
        if (deliver(out, cancelled))
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
    const auto match = [&] {
        if (hasLongitude && hasLatitude) {
            out.byte(Step::kMatchAt);
            out.number(latitude);
            out.number(longitude);
        } else {
            out.byte(Step::kMatch);
        }
        hasMmsi = hasLongitude = hasLatitude = false;
    };
    unsigned items = 0;
    std::string_view item;
    while (reader.next(item)) {
        const Classified c = classify(item, allKeys);
        // The largest steps an item can give: a match, the first separator,
        // and a value whose every byte became U+FFFD.
        out.room(3 * item.size() + 64);
        switch (c.key) {
        case kSeparatorKey: {
            if (hasMmsi)
                match();
            if (!seenSeparator) {
                seenSeparator = true;
                out.byte(Step::kFirstSeparator);
                out.byte(firstItem ? 1 : 0);
                out.u64(item.size());
            }
            assignLastChars(value, item, 8);
            if (timeIsValid(value))
                out.text(Step::kSeparator, value);
            else
                out.byte(Step::kStandIn);
            break;
        }
        case 2:
            assignLastChars(value, item, 9);
            hasMmsi = !value.empty();
            out.text(2, value);
            break;
        case 4:
        case 5:
            assignText(value, valueOf(item, c.firstEquals));
            out.text(static_cast<std::uint8_t>(c.key), value);
            if (c.key == 4) {
                longitude = positionNumber(value);
                hasLongitude = true;
            } else {
                latitude = positionNumber(value);
                hasLatitude = true;
            }
            break;
        case 6: {
            const std::string_view v = valueOf(item, c.firstEquals);
            const std::size_t unit = v.find("[knots]");
            if (unit == std::string_view::npos)
                out.text(6, "0");
            else {
                assignText(value, v.substr(0, unit));
                out.text(6, value);
            }
            break;
        }
        case 3: case 7: case 8: case 9: case 10: case 11:
            assignText(value, valueOf(item, c.firstEquals));
            out.text(static_cast<std::uint8_t>(c.key), value);
            break;
        default:
            break;
        }
        if (firstItem && c.key != kSeparatorKey)
            out.byte(Step::kFirstItem);
        firstItem = false;
        if (out.size() >= kChunkBytes && !deliver(out, cancelled))
            return;
        if ((++items & 255) == 0 && cancelled.load(std::memory_order_relaxed))
            return;
    }
    if (cancelled.load(std::memory_order_relaxed))
        return; // the item where it stopped may be cut short: no end
    out.end(static_cast<std::uint8_t>((reader.failed() ? Step::kReadFailed : 0) | (firstItem ? 0 : Step::kHasItems)),
            reader.failed() ? reader.errorString() : QString());
    out.room(32);
    if (hasMmsi)
        match();
    if (deliver(out, cancelled))
        markDone();
}

void ReadJob::markDone()
{
    const std::lock_guard lock(m_mutex);
    m_done = true;
    m_changed.notify_all();
}

bool ReadJob::deliver(StepBuffer &steps, const std::atomic<bool> &cancelled)
{
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

void ReadAhead::request(const QString &fileName, const QString &path)
{
    auto job = std::make_shared<ReadJob>(fileName, path,
                                         std::max(kMinChunksInFlight, kChunkBudget / std::size_t(m_jobs)));
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

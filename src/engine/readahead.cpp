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

void putU32(std::string &out, std::uint32_t v)
{
    char b[4];
    std::memcpy(b, &v, 4);
    out.append(b, 4);
}

void putNumber(std::string &out, double v)
{
    char b[8];
    std::memcpy(b, &v, 8);
    out.append(b, 8);
}

void putString(std::string &out, std::string_view text)
{
    putU32(out, static_cast<std::uint32_t>(text.size()));
    out.append(text.data(), text.size());
}

void putText(std::string &out, std::uint8_t op, std::string_view text)
{
    out.push_back(static_cast<char>(op));
    putString(out, text);
}

void putEnd(std::string &out, std::uint8_t flags, const QString &error)
{
    out.push_back(static_cast<char>(Step::kEnd));
    out.push_back(static_cast<char>(flags));
    putString(out, error.toStdString());
}

} // namespace

// The reader's loop (reader.cpp) with the record's changes written down
// instead of made. The only state it needs of the record is whether it holds
// an MMSI: a file starts without one, as every read before it ended by handing
// its last record to the matcher.
void ReadJob::run(bool allKeys, const std::atomic<bool> &cancelled)
{
    Platform::ItemReader reader;
    std::string out;
    if (!reader.open(m_path)) {
        putEnd(out, Step::kOpenFailed, reader.errorString());
        if (deliver(out, cancelled))
            markDone();
        return;
    }
    reader.setLongItemHook([&] { return !cancelled.load(std::memory_order_relaxed); });
    out.reserve(kChunkReserve);
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
            out.push_back(static_cast<char>(Step::kMatchAt));
            putNumber(out, latitude);
            putNumber(out, longitude);
        } else {
            out.push_back(static_cast<char>(Step::kMatch));
        }
        hasMmsi = hasLongitude = hasLatitude = false;
    };
    unsigned items = 0;
    std::string_view item;
    while (reader.next(item)) {
        const Classified c = classify(item, allKeys);
        switch (c.key) {
        case kSeparatorKey: {
            if (hasMmsi)
                match();
            if (!seenSeparator) {
                seenSeparator = true;
                out.push_back(static_cast<char>(Step::kFirstSeparator));
                out.push_back(static_cast<char>(firstItem ? 1 : 0));
                const std::uint64_t size = item.size();
                char b[8];
                std::memcpy(b, &size, 8);
                out.append(b, 8);
            }
            assignLastChars(value, item, 8);
            if (timeIsValid(value))
                putText(out, Step::kSeparator, value);
            else
                out.push_back(static_cast<char>(Step::kStandIn));
            break;
        }
        case 2:
            assignLastChars(value, item, 9);
            hasMmsi = !value.empty();
            putText(out, 2, value);
            break;
        case 4:
        case 5:
            assignText(value, valueOf(item, c.firstEquals));
            putText(out, static_cast<std::uint8_t>(c.key), value);
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
                putText(out, 6, "0");
            else {
                assignText(value, v.substr(0, unit));
                putText(out, 6, value);
            }
            break;
        }
        case 3: case 7: case 8: case 9: case 10: case 11:
            assignText(value, valueOf(item, c.firstEquals));
            putText(out, static_cast<std::uint8_t>(c.key), value);
            break;
        default:
            break;
        }
        if (firstItem && c.key != kSeparatorKey)
            out.push_back(static_cast<char>(Step::kFirstItem));
        firstItem = false;
        if (out.size() >= kChunkBytes && !deliver(out, cancelled))
            return;
        if ((++items & 255) == 0 && cancelled.load(std::memory_order_relaxed))
            return;
    }
    if (cancelled.load(std::memory_order_relaxed))
        return; // the item where it stopped may be cut short: no end
    putEnd(out, static_cast<std::uint8_t>((reader.failed() ? Step::kReadFailed : 0) | (firstItem ? 0 : Step::kHasItems)),
           reader.failed() ? reader.errorString() : QString());
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

bool ReadJob::deliver(std::string &chunk, const std::atomic<bool> &cancelled)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] {
        return m_chunks.size() < m_chunksInFlight || m_abandoned || cancelled.load(std::memory_order_relaxed);
    });
    if (m_abandoned || cancelled.load(std::memory_order_relaxed))
        return false;
    m_chunks.push_back(std::move(chunk));
    m_changed.notify_all();
    chunk = std::string();
    chunk.reserve(kChunkReserve);
    return true;
}

bool ReadJob::nextChunk(std::string &chunk, int timeoutMs, bool &timedOut)
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

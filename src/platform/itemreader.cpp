#include "platform/itemreader.h"

#include "platform/bytescan.h"

#include <algorithm>
#include <cstring>

namespace Platform {

namespace {

// Small enough to stay in the L2 cache between the kernel's copy and the scan.
constexpr std::size_t kBufferSize = 128 << 10;

// The item ends are found this many bytes ahead of the items handed out: the
// stretch is still in the L1 cache when its items are looked at, and its ends
// (about one per 30 bytes) are a few hundred entries.
constexpr std::size_t kStretch = 4 << 10;

static_assert(kBufferSize % kStretch == 0 && kStretch % 64 == 0);
static_assert(kBufferSize < (std::size_t(1) << 32), "item ends are 32-bit offsets");

} // namespace

bool ItemReader::open(const QString &path)
{
    close();
    m_file.setFileName(path);
    // Unbuffered: the reader keeps its own large buffer, QFile's would only copy.
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        m_error = m_file.errorString();
        m_failed = true;
        return false;
    }
    if (!m_buffer) {
        const std::size_t size = kBufferFront + kBufferSize + kBufferPadding;
        m_buffer.reset(static_cast<char *>(::operator new[](size, std::align_val_t(4096))));
        std::memset(m_buffer.get(), 0, size);
        m_data = m_buffer.get() + kBufferFront;
        m_ends.reset(new std::uint32_t[kStretch + ByteScan::kEndsSlack]);
    }
    m_carry.assign(kMaxItem + kReadable, '\0');
    m_carryLength = 0;
    m_pos = m_end = m_scanned = 0;
    m_nextEnd = m_endCount = 0;
    m_crBefore = false;
    m_atEnd = false;
    m_abandoned = false;
    m_failed = false;
    m_error.clear();
    return true;
}

void ItemReader::close()
{
    if (m_file.isOpen())
        m_file.close();
    m_atEnd = true;
    m_pos = m_end = m_scanned = 0;
    m_nextEnd = m_endCount = 0;
    std::vector<char>().swap(m_carry);
}

bool ItemReader::refill()
{
    if (m_atEnd)
        return false;
    const qint64 n = m_file.read(m_data, static_cast<qint64>(kBufferSize));
    if (n < 0) {
        // A file deleted, truncated or on a failing disk: what was read stands.
        m_failed = true;
        m_error = m_file.errorString();
        m_atEnd = true;
        return false;
    }
    if (n == 0) {
        m_atEnd = true;
        return false;
    }
    m_end = static_cast<std::size_t>(n);
    m_data[m_end] = '\0';
    // The LF of a CR LF split between two reads.
    m_pos = m_crBefore && m_data[0] == '\n' ? 1 : 0;
    m_scanned = 0;
    m_nextEnd = m_endCount = 0;
    return true;
}

// The item ends of the next stretch of the buffer.
void ItemReader::findEnds()
{
    const std::size_t length = std::min(kStretch, m_end - m_scanned);
    // The scan looks at the byte before the stretch for a CR: at the start of
    // a read, the last byte of the one before stands there.
    if (m_scanned == 0)
        m_data[-1] = m_crBefore ? '\r' : '\0';
    m_endCount = ByteScan::itemEnds(m_data + m_scanned, length, static_cast<std::uint32_t>(m_scanned), m_ends.get());
    m_nextEnd = 0;
    m_scanned += length;
    m_crBefore = m_data[m_scanned - 1] == '\r';
}

// Called when the ends found so far are used up: the next item ends further on
// in the buffer, or starts a new read, or runs on into it.
bool ItemReader::nextSlow(std::string_view &item)
{
    while (m_scanned < m_end) {
        findEnds();
        if (m_endCount > 0)
            return next(item);
    }
    return collect(item);
}

// No item ends in the rest of the buffer.
bool ItemReader::collect(std::string_view &item)
{
    if (m_pos >= m_end) {
        if (!refill())
            return false;
        return nextSlow(item);
    }

    // The item runs past the buffer: collect it (up to the cap) across refills.
    m_carryLength = std::min(m_end - m_pos, kMaxItem);
    std::memcpy(m_carry.data(), m_data + m_pos, m_carryLength);
    m_pos = m_end;
    for (;;) {
        if (m_longItemHook && !m_longItemHook()) {
            m_atEnd = m_abandoned = true; // nothing more is read from this file
            break;
        }
        if (!refill())
            break;
        while (m_scanned < m_end && m_endCount == 0)
            findEnds();
        const bool ends = m_endCount > 0;
        const std::size_t len = ends ? m_ends[m_nextEnd++] : m_end;
        const std::size_t take = std::min(len, kMaxItem - m_carryLength);
        std::memcpy(m_carry.data() + m_carryLength, m_data, take);
        m_carryLength += take;
        if (ends) {
            m_pos = startAfter(len);
            break;
        }
        m_pos = m_end;
    }
    // A NUL after the item (see kReadable): what follows in the carry buffer
    // is left over from an earlier item, and the last item of a file has no
    // delimiter.
    m_carry[m_carryLength] = '\0';
    item = std::string_view(m_carry.data(), m_carryLength);
    return true;
}

} // namespace Platform

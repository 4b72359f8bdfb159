#include "platform/itemreader.h"

#include "platform/bytescan.h"

#include <algorithm>
#include <cstring>


namespace Platform {

namespace {

// Small enough to stay in the L2 cache between the kernel's copy and the scan.
constexpr std::size_t kBufferSize = 128 << 10;

// Comma, LF and CR end an item.
inline const char *findDelimiter(const char *p, const char *end)
{
    return ByteScan::findAny3Padded(p, end, ',', '\n', '\r');
}

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
        m_buffer.reset(static_cast<char *>(::operator new[](kBufferSize + kBufferPadding, std::align_val_t(4096))));
        std::memset(m_buffer.get(), 0, kBufferSize + kBufferPadding);
    }
    m_carry.assign(kMaxItem + ByteScan::kPadding, '\0');
    m_carryLength = 0;
    m_pos = m_end = 0;
    m_block = 0;
    m_mask = 0;
    m_atEnd = false;
    m_failed = false;
    m_error.clear();
    return true;
}

void ItemReader::close()
{
    if (m_file.isOpen())
        m_file.close();
    m_atEnd = true;
    std::vector<char>().swap(m_carry);
}

bool ItemReader::refill()
{
    if (m_atEnd)
        return false;
    const qint64 n = m_file.read(m_buffer.get(), static_cast<qint64>(kBufferSize));
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
    m_pos = 0;
    m_end = static_cast<std::size_t>(n);
    return true;
}

void ItemReader::primeMask()
{
    m_block = m_pos & ~std::size_t(63);
    m_mask = ByteScan::mask64(m_buffer.get() + m_block, ',', '\n', '\r') & (~std::uint64_t(0) << (m_pos & 63));
}

// Called when no delimiter is left in the buffer after m_pos: the next item
// starts a new read, or runs on into it.
bool ItemReader::nextSlow(std::string_view &item)
{
    const bool found = collect(item);
    if (found && m_pos <= m_end)
        primeMask();
    return found;
}

bool ItemReader::collect(std::string_view &item)
{
    if (m_pos >= m_end && !refill())
        return false;

    const char *begin = m_buffer.get() + m_pos;
    const char *end = m_buffer.get() + m_end;
    const char *hit = findDelimiter(begin, end);
    if (hit < end) {
        const std::size_t len = static_cast<std::size_t>(hit - begin);
        m_pos += len + 1;
        item = std::string_view(begin, len < kMaxItem ? len : kMaxItem);
        return true;
    }

    // The item runs past the buffer: collect it (up to the cap) across refills.
    m_carryLength = std::min<std::size_t>(static_cast<std::size_t>(end - begin), kMaxItem);
    std::memcpy(m_carry.data(), begin, m_carryLength);
    m_pos = m_end;
    for (;;) {
        if (m_longItemHook && !m_longItemHook()) {
            m_atEnd = true; // abandoned: nothing more is read from this file
            break;
        }
        if (!refill())
            break;
        begin = m_buffer.get();
        end = begin + m_end;
        hit = findDelimiter(begin, end);
        const std::size_t len = static_cast<std::size_t>(hit - begin);
        const std::size_t take = std::min(len, kMaxItem - m_carryLength);
        std::memcpy(m_carry.data() + m_carryLength, begin, take);
        m_carryLength += take;
        if (hit < end) {
            m_pos = len + 1;
            item = std::string_view(m_carry.data(), m_carryLength);
            return true;
        }
        m_pos = m_end;
    }
    // End of file (or a read error) inside the last item, which has no line end.
    item = std::string_view(m_carry.data(), m_carryLength);
    return true;
}

} // namespace Platform

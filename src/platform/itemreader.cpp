#include "platform/itemreader.h"

#include <cstdint>
#include <cstring>

namespace Platform {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;

inline bool isDelimiter(char c)
{
    return c == ',' || c == '\n' || c == '\r';
}

// Finds the first comma, LF or CR in [p, end). Eight bytes at a time with the
// classic "has zero byte" trick: the item splitter is the hottest loop of every
// pass, and this keeps it close to memchr speed without platform intrinsics.
inline const char *findDelimiter(const char *p, const char *end)
{
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t highs = 0x8080808080808080ull;
    while (end - p >= 8) {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        const std::uint64_t comma = v ^ (ones * ',');
        const std::uint64_t lf = v ^ (ones * '\n');
        const std::uint64_t cr = v ^ (ones * '\r');
        const std::uint64_t hit = ((comma - ones) & ~comma) | ((lf - ones) & ~lf) | ((cr - ones) & ~cr);
        if (hit & highs)
            break;
        p += 8;
    }
    while (p < end && !isDelimiter(*p))
        ++p;
    return p;
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
    m_buffer.resize(kBufferSize);
    m_pos = m_end = 0;
    m_atEnd = false;
    m_failed = false;
    m_error.clear();
    m_carry.clear();
    m_consumed = 0;
    return true;
}

void ItemReader::close()
{
    if (m_file.isOpen())
        m_file.close();
    m_atEnd = true;
    std::vector<char>().swap(m_buffer);
    std::string().swap(m_carry);
}

bool ItemReader::refill()
{
    if (m_atEnd)
        return false;
    const qint64 n = m_file.read(m_buffer.data(), static_cast<qint64>(m_buffer.size()));
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

bool ItemReader::next(std::string_view &item)
{
    if (m_pos >= m_end && !refill())
        return false;

    const char *begin = m_buffer.data() + m_pos;
    const char *end = m_buffer.data() + m_end;
    const char *hit = findDelimiter(begin, end);
    if (hit < end) {
        // The common case: the whole item lies in the buffer.
        std::size_t len = static_cast<std::size_t>(hit - begin);
        m_pos += len + 1;
        m_consumed += static_cast<qint64>(len + 1);
        item = std::string_view(begin, len < kMaxItem ? len : kMaxItem);
        return true;
    }

    // The item runs past the buffer: collect it (up to the cap) across refills.
    m_carry.assign(begin, std::min<std::size_t>(static_cast<std::size_t>(end - begin), kMaxItem));
    m_consumed += end - begin;
    m_pos = m_end;
    while (refill()) {
        begin = m_buffer.data();
        end = begin + m_end;
        hit = findDelimiter(begin, end);
        const std::size_t len = static_cast<std::size_t>(hit - begin);
        if (m_carry.size() < kMaxItem)
            m_carry.append(begin, std::min(len, kMaxItem - m_carry.size()));
        if (hit < end) {
            m_pos = len + 1;
            m_consumed += static_cast<qint64>(len + 1);
            item = m_carry;
            return true;
        }
        m_consumed += static_cast<qint64>(len);
        m_pos = m_end;
    }
    // End of file (or a read error) inside the last item, which has no line end.
    item = m_carry;
    return true;
}

} // namespace Platform

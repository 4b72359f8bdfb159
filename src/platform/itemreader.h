#pragma once

#include "platform/bytescan.h"

#include <QFile>
#include <QString>

#include <string_view>
#include <vector>

namespace Platform {

// Reads a text file as "delimited items": an item is the text of a line up to the
// next comma or line end. Comma, LF and CR all end an item, so CR LF yields one
// extra empty item; every consumer ignores empty items, which makes the three
// line-end conventions read alike. Items are raw bytes: no trimming, quotes are
// ordinary characters, no decoding.
class ItemReader
{
public:
    // An item longer than this keeps its first kMaxItem bytes; the rest up to the
    // next delimiter is skipped. A file without any line end (a receiver that
    // wrote garbage, a binary dropped into the folder) would otherwise need memory
    // as large as the file.
    static constexpr std::size_t kMaxItem = 64 * 1024;

    ItemReader() = default;
    ItemReader(const ItemReader &) = delete;
    ItemReader &operator=(const ItemReader &) = delete;

    // Opens the file; on failure returns false and errorString() tells why.
    bool open(const QString &path);
    void close();

    // Next item, valid until the next call. False at the end of the file or when
    // reading failed (then failed() is true). The memory after an item stays
    // readable for ByteScan::kPadding bytes, for the padded byte searches.
    bool next(std::string_view &item)
    {
        // Inline fast path: the whole item lies in the buffer (all but one item
        // per 128 KiB read).
        if (m_pos < m_end) {
            const char *begin = m_buffer.data() + m_pos;
            const char *end = m_buffer.data() + m_end;
            const char *hit = ByteScan::findAny3Padded(begin, end, ',', '\n', '\r');
            if (hit < end) {
                const std::size_t len = static_cast<std::size_t>(hit - begin);
                m_pos += len + 1;
                item = std::string_view(begin, len < kMaxItem ? len : kMaxItem);
                return true;
            }
        }
        return nextSlow(item);
    }

    bool failed() const { return m_failed; }
    QString errorString() const { return m_error; }

private:
    bool refill();
    bool nextSlow(std::string_view &item);

    QFile m_file;
    std::vector<char> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    bool m_atEnd = true;
    bool m_failed = false;
    QString m_error;
    std::vector<char> m_carry; // an item that spans two reads, plus padding
    std::size_t m_carryLength = 0;
};

} // namespace Platform

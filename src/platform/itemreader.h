#pragma once

#include "platform/bytescan.h"

#include <QFile>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <new>
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
        // Inline fast path: the delimiters of the current 64-byte block are bits
        // of m_mask, so splitting an item costs a bit scan instead of a loop whose
        // exit the processor cannot predict (most items are 20 to 40 bytes).
        while (m_mask == 0) {
            m_block += 64;
            if (m_block >= m_end)
                return nextSlow(item);
            m_mask = ByteScan::mask64(m_buffer.get() + m_block, ',', '\n', '\r');
        }
        const std::size_t at = m_block + static_cast<std::size_t>(ByteScan::lowestBit(m_mask));
        m_mask &= m_mask - 1;
        if (at >= m_end)
            return nextSlow(item);
        const std::size_t len = at - m_pos;
        item = std::string_view(m_buffer.get() + m_pos, len < kMaxItem ? len : kMaxItem);
        m_pos = at + 1;
        return true;
    }

    // Called after every read while one item runs on over several reads (a
    // file without line ends can be one item of hundreds of megabytes), so the
    // caller can keep its window responsive. Returning false abandons the file:
    // next() then returns what it has of the item and reads no further.
    void setLongItemHook(std::function<bool()> hook) { m_longItemHook = std::move(hook); }

    bool failed() const { return m_failed; }
    QString errorString() const { return m_error; }

private:
    bool refill();
    bool nextSlow(std::string_view &item);
    bool collect(std::string_view &item);
    void primeMask();

    // The buffer is readable 64 bytes past its end for the block masks.
    static constexpr std::size_t kBufferPadding = 64;

    // Page-aligned: the kernel copies into an aligned buffer three to four times
    // faster than into one that is off by a few bytes, as malloc's are.
    struct AlignedFree
    {
        void operator()(char *p) const { ::operator delete[](p, std::align_val_t(4096)); }
    };

    QFile m_file;
    std::unique_ptr<char[], AlignedFree> m_buffer;
    std::size_t m_pos = 0;      // start of the next item in the buffer
    std::size_t m_end = 0;      // bytes in the buffer
    std::size_t m_block = 0;    // the 64-byte block m_mask describes
    std::uint64_t m_mask = 0;   // its delimiters at or after m_pos
    bool m_atEnd = true;
    bool m_failed = false;
    QString m_error;
    std::function<bool()> m_longItemHook;
    std::vector<char> m_carry; // an item that spans two reads, plus padding
    std::size_t m_carryLength = 0;
};

} // namespace Platform

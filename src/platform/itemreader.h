#pragma once

#include "platform/bytescan.h"

#include <QFile>
#include <QString>

#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

namespace Platform {

// Reads a text file as "delimited items": an item is the text of a line up to the
// next comma or line end. Comma, LF and CR all end an item, and CR LF ends one
// (the LF right after a CR ends nothing and belongs to no item), so the three
// line-end conventions read alike. Items are raw bytes: no trimming, quotes are
// ordinary characters, no decoding. Every consumer ignores empty items (two
// commas in a row, a blank line).
class ItemReader
{
public:
    // An item longer than this keeps its first kMaxItem bytes; the rest up to the
    // next delimiter is skipped. A file without any line end (a receiver that
    // wrote garbage, a binary dropped into the folder) would otherwise need memory
    // as large as the file.
    static constexpr std::size_t kMaxItem = 64 * 1024;

    // The memory after an item stays readable for this many bytes, so that
    // its bytes can be searched in whole blocks of up to 64. The byte right
    // after an item of fewer than kMaxItem bytes is the delimiter that ended
    // it or a NUL, never a blank.
    static constexpr std::size_t kReadable = 64;

    ItemReader() = default;
    ItemReader(const ItemReader &) = delete;
    ItemReader &operator=(const ItemReader &) = delete;

    // Opens the file; on failure returns false and errorString() tells why.
    bool open(const QString &path);
    void close();

    // Next item, valid until the next call. False at the end of the file or when
    // reading failed (then failed() is true).
    bool next(std::string_view &item)
    {
        // Inline fast path: where the items of the buffer end was found ahead,
        // a stretch at a time, so splitting one costs a load instead of a loop
        // whose exit the processor cannot predict (most items are 20 to 40 bytes).
        if (m_nextEnd == m_endCount) [[unlikely]]
            return nextSlow(item);
        const std::size_t at = m_ends[m_nextEnd++];
        const std::size_t len = at - m_pos;
        item = std::string_view(m_data + m_pos, len < kMaxItem ? len : kMaxItem);
        m_pos = startAfter(at);
        return true;
    }

    // Hands every further item to `take` (a callable taking a std::string_view
    // and returning false to stop) and returns whether it was stopped, by
    // `take` or by the long-item hook, whose item is then not handed over; the
    // items are next()'s. For the hot loops: the position among the ends found
    // ahead lives in locals here, which a call the loop makes cannot reach, so
    // they stay in registers where next() reloads its members every item.
    template<typename Take>
    [[gnu::always_inline]] bool forEach(Take &&take)
    {
        const char *buffer = m_data;
        const std::uint32_t *const ends = m_ends.get();
        const std::uint32_t *end = ends + m_nextEnd;
        const std::uint32_t *last = ends + m_endCount;
        std::size_t pos = m_pos;
        for (;;) {
            std::string_view item;
            if (end != last) [[likely]] {
                const std::size_t at = *end++;
                std::size_t len = at - pos;
                if (len > kMaxItem) [[unlikely]]
                    len = kMaxItem;
                item = std::string_view(buffer + pos, len);
                pos = startAfter(buffer, at);
            } else {
                m_pos = pos;
                m_nextEnd = m_endCount;
                std::string_view slow; // apart from `item`, whose address is never taken
                if (!nextSlow(slow))
                    return false;
                if (m_abandoned)
                    return true;
                item = slow;
                buffer = m_data;
                end = ends + m_nextEnd;
                last = ends + m_endCount;
                pos = m_pos;
            }
            // One call of `take`, so that it is inlined.
            if (!take(item)) [[unlikely]] {
                m_pos = pos;
                m_nextEnd = static_cast<std::size_t>(end - ends);
                return true;
            }
        }
    }

    // Called after every read while one item runs on over several reads (a
    // file without line ends can be one item of hundreds of megabytes), so the
    // caller can keep its window responsive. Returning false abandons the file:
    // next() then returns what it has of the item and reads no further.
    void setLongItemHook(std::function<bool()> hook) { m_longItemHook = std::move(hook); }

    bool failed() const { return m_failed; }
    QString errorString() const { return m_error; }

private:
    // Where the item after the one ending at `at` starts: past the LF of a
    // CR LF too. The byte after the buffer's last is never an LF (refill()
    // puts a NUL there); an LF that starts the next read is passed by refill().
    static std::size_t startAfter(const char *buffer, std::size_t at)
    {
        std::uint16_t pair;
        std::memcpy(&pair, buffer + at, 2);
        return at + 1 + std::size_t(pair == kCrLf);
    }
    std::size_t startAfter(std::size_t at) const { return startAfter(m_data, at); }
    static constexpr std::uint16_t kCrLf = std::endian::native == std::endian::little ? 0x0A0D : 0x0D0A;

    bool refill();
    bool nextSlow(std::string_view &item);
    bool collect(std::string_view &item);
    void findEnds();

    // The buffer is readable past its end for the block scans and kReadable,
    // and before its start for the scan's look at the byte before a block; a
    // page, so that the buffer itself stays page-aligned.
    static constexpr std::size_t kBufferPadding = kReadable;
    static constexpr std::size_t kBufferFront = 4096;

    // Page-aligned: the kernel copies into an aligned buffer three to four times
    // faster than into one that is off by a few bytes, as malloc's are.
    struct AlignedFree
    {
        void operator()(char *p) const { ::operator delete[](p, std::align_val_t(4096)); }
    };

    QFile m_file;
    std::unique_ptr<char[], AlignedFree> m_buffer; // the allocation
    char *m_data = nullptr;                         // kBufferFront bytes into it
    std::unique_ptr<std::uint32_t[]> m_ends; // item ends found ahead, as buffer offsets
    std::size_t m_nextEnd = 0;   // the next of them to hand out
    std::size_t m_endCount = 0;  // how many were found
    std::size_t m_pos = 0;       // start of the next item in the buffer
    std::size_t m_end = 0;       // bytes in the buffer
    std::size_t m_scanned = 0;   // bytes of the buffer searched for item ends
    bool m_crBefore = false;     // the byte before m_scanned was a CR
    bool m_atEnd = true;
    bool m_abandoned = false; // the long-item hook said stop
    bool m_failed = false;
    QString m_error;
    std::function<bool()> m_longItemHook;
    std::vector<char> m_carry; // an item that spans two reads, plus padding
    std::size_t m_carryLength = 0;
};

} // namespace Platform

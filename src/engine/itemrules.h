#pragma once

// How the reader turns an item into a key and a value: the rules every reading
// loop shares, the window's own and the workers' that read ahead for a period
// pass. Inline, as they run for every item of every log.

#include "engine/text.h"
#include "platform/bytescan.h"
#include "platform/itemreader.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace Module1::detail::ItemRules {

constexpr std::string_view kSeparator = "--------------------";

struct Key
{
    std::string_view label; // the 20-character label column before "="
    int order;              // position in the key table, 2 to 11
};

// Keys 2 to 11: each is its 20-character label followed by "=" ("MMSI NUMBER"
// also needs the blank after it).
constexpr Key kKeys[] = {
    {"MMSI NUMBER         ", 2}, {"NAME                ", 3}, {"LONGITUDE           ", 4},
    {"LATITUDE            ", 5}, {"SPEED OVER GROUND   ", 6}, {"DESTINATION         ", 7},
    {"ESTIMATED TIME      ", 8}, {"STATIC DRAUGHT      ", 9}, {"NAVIGATIONAL STATUS ", 10},
    {"TEXT STRING         ", 11},
};
constexpr int kSeparatorKey = 1;
constexpr int kNoKey = 99;

// True when the item holds twenty hyphens in a row. Any such run covers exactly
// one position that is 19 modulo 20, so only those positions need a look.
inline bool hasSeparator(std::string_view item)
{
    const std::size_t n = item.size();
    // The receiver writes its separators at the start of the line.
    if (n >= 20 && std::memcmp(item.data(), kSeparator.data(), 20) == 0)
        return true;
    for (std::size_t i = 19; i < n; i += 20) {
        if (item[i] != '-')
            continue;
        std::size_t lo = i;
        while (lo > 0 && item[lo - 1] == '-' && i - lo < 19)
            --lo;
        std::size_t hi = i;
        while (hi + 1 < n && item[hi + 1] == '-' && hi - lo < 19)
            ++hi;
        if (hi - lo + 1 >= 20)
            return true;
    }
    return false;
}

namespace labels {

// The ten labels told apart by their first eight bytes, hashed into sixteen
// slots: one multiplication and a table look-up instead of a chain of
// comparisons whose outcome changes from line to line.
constexpr std::uint64_t kLabelMagic = 0x7e43ccca2d61702bull;

constexpr std::uint64_t firstEight(std::string_view label)
{
    std::uint64_t w = 0;
    for (int i = 7; i >= 0; --i)
        w = w << 8 | static_cast<unsigned char>(label[static_cast<std::size_t>(i)]);
    return w;
}

constexpr unsigned labelSlot(std::uint64_t firstEight)
{
    return static_cast<unsigned>((firstEight * kLabelMagic) >> 60);
}

struct LabelSlot
{
    char label[20];
    int order;
};

struct LabelTable
{
    LabelSlot entries[16]; // not "slots": Qt defines that word away
};

constexpr LabelTable makeLabelTable()
{
    LabelTable t{};
    for (LabelSlot &s : t.entries)
        s.order = kNoKey; // twenty NUL bytes match no label
    for (const Key &k : kKeys) {
        LabelSlot &s = t.entries[labelSlot(firstEight(k.label))];
        for (std::size_t i = 0; i < 20; ++i)
            s.label[i] = k.label[i];
        s.order = k.order;
    }
    return t;
}

constexpr bool labelsHashApart()
{
    unsigned used = 0;
    for (const Key &k : kKeys) {
        const unsigned bit = 1u << labelSlot(firstEight(k.label));
        if (used & bit)
            return false;
        used |= bit;
    }
    return true;
}
static_assert(labelsHashApart(), "two labels share a slot: choose another kLabelMagic");

inline constexpr LabelTable kLabelTable = makeLabelTable();

} // namespace labels

// The key whose label column starts at `label` (20 readable characters), or
// kNoKey. One multiplication finds the only label it can be, and three words
// compare it.
inline int keyAt(const char *label)
{
    std::uint64_t a[2], b[2];
    std::uint32_t c, d;
    std::memcpy(a, label, 16);
    std::memcpy(&c, label + 16, 4);
    std::uint64_t first = a[0];
    if constexpr (std::endian::native == std::endian::big)
        first = __builtin_bswap64(first);
    const labels::LabelSlot &s = labels::kLabelTable.entries[labels::labelSlot(first)];
    std::memcpy(b, s.label, 16);
    std::memcpy(&d, s.label + 16, 4);
    const std::uint64_t differ = (a[0] ^ b[0]) | (a[1] ^ b[1]) | (c ^ d);
    return differ == 0 ? s.order : kNoKey;
}

struct Classified
{
    int key = kNoKey;
    std::size_t firstEquals = std::string_view::npos; // the item's first "="
};

// The highest key of the table (lowest order) whose label column stands before
// one of the "=" marked in `equals` (bit i: an "=" at i, i >= 20), or kNoKey.
inline int bestKey(const char *data, std::size_t n, std::uint64_t equals, int lastOrder, std::size_t base = 0)
{
    int best = kNoKey;
    while (equals) {
        const std::size_t p = base + static_cast<std::size_t>(Platform::ByteScan::lowestBit(equals));
        equals &= equals - 1;
        int key = keyAt(data + p - 20);
        // "MMSI NUMBER" also needs the blank after its "=".
        if (key == 2 && (p + 1 >= n || data[p + 1] != ' '))
            key = kNoKey;
        if (key <= lastOrder && key < best)
            best = key;
    }
    return best;
}

// classify() for an item of any length, a 16-byte block at a time.
inline Classified classifyAnyLength(std::string_view item, bool allKeys)
{
    Classified c;
    const std::size_t n = item.size();
    if (n < 20)
        return c;
    if (hasSeparator(item)) {
        c.key = kSeparatorKey;
        return c;
    }
    const int lastOrder = allKeys ? 11 : 6;
    const char *data = item.data();
    for (std::size_t base = 0; base < n; base += 16) {
        unsigned mask = Platform::ByteScan::mask16(data + base, '=');
        if (n - base < 16)
            mask &= (1u << (n - base)) - 1;
        if (mask && c.firstEquals == std::string_view::npos)
            c.firstEquals = base + static_cast<std::size_t>(Platform::ByteScan::lowestBit(mask));
        if (base < 20)
            mask &= ~0u << (20 - base < 16 ? 20 - base : 16);
        const int key = bestKey(data, n, mask, lastOrder, base);
        if (key < c.key)
            c.key = key;
    }
    return c;
}

// True when the bits of `hyphens` hold twenty set in a row.
inline bool hasRunOf20(std::uint64_t hyphens)
{
    const std::uint64_t r2 = hyphens & hyphens >> 1;
    const std::uint64_t r4 = r2 & r2 >> 2;
    const std::uint64_t r8 = r4 & r4 >> 4;
    const std::uint64_t r16 = r8 & r8 >> 8;
    return (r16 & r4 >> 16) != 0;
}

// The highest key of the table (lowest order) that occurs anywhere in the item,
// looking at every "=" that has a full label column before it, and the item's
// first "=", where every value starts. Items come from the item reader, whose
// buffers stay readable for 64 bytes past an item, so an item of up to 64 bytes
// (nearly every one) is searched with four 16-byte loads and no loop: its "="
// and its hyphens become bit masks, and the usual line, a label column and its
// "=", is settled by one look-up in the label table.
[[gnu::always_inline]] inline Classified classify(std::string_view item, bool allKeys)
{
    static_assert(Platform::ItemReader::kReadable >= 64);
    Classified c;
    const std::size_t n = item.size();
    if (n < 20)
        return c;
    if (n > 64) [[unlikely]]
        return classifyAnyLength(item, allKeys);
    const char *data = item.data();
    const std::uint64_t inItem = ~std::uint64_t(0) >> (64 - n);
    // A run of twenty hyphens covers one of the bytes 19, 39 and 59: only an
    // item with a hyphen there needs its hyphens counted. Those bytes may lie
    // past the item; a hyphen there costs the count, which stops at the item's
    // end, and nothing else.
    const bool hyphenAt = (data[19] == '-') | (data[39] == '-') | (data[59] == '-');
    if (hyphenAt && hasRunOf20(Platform::ByteScan::mask64(data, '-') & inItem)) [[unlikely]] {
        c.key = kSeparatorKey;
        return c;
    }
    constexpr std::uint64_t top = std::uint64_t(1) << 63;
    // Nearly every line is at most 48 bytes long: three loads then.
    const std::uint64_t equals =
        (n <= 48 ? Platform::ByteScan::maskBlocks<3>(data, '=') : Platform::ByteScan::mask64(data, '=')) & inItem;
    const std::size_t first = static_cast<std::size_t>(Platform::ByteScan::lowestBit(equals | top));
    c.firstEquals = equals ? first : std::string_view::npos;
    const int lastOrder = allKeys ? 11 : 6;
    const std::uint64_t labelled = equals & ~std::uint64_t(0xFFFFF); // an "=" at 20 or later
    if (labelled & (labelled - 1)) [[unlikely]] {
        c.key = bestKey(data, n, labelled, lastOrder);
        return c;
    }
    // At most one: without one, p is 63 and the look-up reads bytes that
    // stay readable and counts for nothing.
    const std::size_t p = static_cast<std::size_t>(Platform::ByteScan::lowestBit(labelled | top));
    const int key = keyAt(data + p - 20);
    const bool mmsiWithoutBlank = (key == 2) & ((p + 1 >= n) | (data[p + 1] != ' '));
    const bool none = (labelled == 0) | mmsiWithoutBlank | (key > lastOrder);
    c.key = none ? kNoKey : key;
    return c;
}

// Everything from the second character after the item's first "=". The
// character right after it, normally the blank, is skipped whatever its size.
inline std::string_view valueOf(std::string_view item, std::size_t firstEquals)
{
    if (firstEquals == std::string_view::npos || firstEquals + 1 >= item.size())
        return {};
    const std::size_t next = firstEquals + 1;
    const std::size_t skip = static_cast<unsigned char>(item[next]) < 0x80 ? 1 : charLength(item, next);
    return item.substr(next + skip);
}

// The item's last `count` characters, decoded as every stored text is. When
// those bytes are ASCII they are the last `count` characters whatever precedes
// them, which spares decoding the item for the usual line.
[[gnu::always_inline]] inline void assignLastChars(std::string &out, std::string_view item, std::size_t count)
{
    const std::size_t n = item.size();
    // The usual item (a separator's time, an MMSI) has its last sixteen bytes
    // in one load, and the field it replaces is as long: overwritten in place,
    // a copy of a known size is a move or two.
    if (count <= 16 && n >= 16) {
        if (Platform::ByteScan::highBits16(item.data() + n - 16, 16) >> (16 - count) == 0) {
            const char *tail = item.data() + n - count;
            if (out.size() == count) {
                std::memcpy(out.data(), tail, count);
            } else {
                out.clear();
                out.append(tail, count);
            }
            return;
        }
    } else if (n >= count && isAscii(item.substr(n - count))) {
        assignText(out, item.substr(n - count));
        return;
    }
    assignText(out, item);
    out.assign(lastChars(out, count));
}

// The time is the separator's last eight characters; all the reader checks is
// that the third and the sixth of them are colons.
inline bool timeIsValid(std::string_view t)
{
    if (t.size() == 8 && isAscii(t))
        return (t[2] == ':') & (t[5] == ':');
    std::size_t chars = 0;
    std::size_t i = 0;
    char third = 0, sixth = 0;
    while (i < t.size()) {
        const unsigned char c = static_cast<unsigned char>(t[i]);
        ++chars;
        if (chars == 3)
            third = static_cast<char>(c);
        if (chars == 6)
            sixth = static_cast<char>(c);
        ++i;
        while (i < t.size() && (static_cast<unsigned char>(t[i]) & 0xC0) == 0x80)
            ++i;
    }
    return chars >= 6 && third == ':' && sixth == ':';
}

} // namespace Module1::detail::ItemRules

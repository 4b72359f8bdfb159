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

// Eight bytes as one load gives them.
constexpr std::uint64_t word(const char *bytes)
{
    std::uint64_t w = 0;
    for (int i = 0; i < 8; ++i) {
        const int at = std::endian::native == std::endian::little ? 7 - i : i;
        w = w << 8 | static_cast<unsigned char>(bytes[at]);
    }
    return w;
}

// The hash works on the bytes in the order of the text, whatever the
// processor's byte order.
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

// What stands from the label column's start: the label, its "=", and for
// "MMSI NUMBER" the blank after it, as three words; `tailMask` keeps the
// bytes of the third that count.
struct LabelSlot
{
    std::uint64_t text[3];
    std::uint64_t tailMask;
    int order;
};

// The labels of one kind of pass: those of keys after lastOrder are in the
// table with kNoKey, so that their lines count for nothing.
struct LabelTable
{
    LabelSlot entries[16]; // not "slots": Qt defines that word away
    int lastOrder;
};

constexpr LabelTable makeLabelTable(int lastOrder)
{
    LabelTable t{};
    t.lastOrder = lastOrder;
    for (LabelSlot &s : t.entries)
        s.order = kNoKey; // whatever matches an empty slot counts for nothing
    for (const Key &k : kKeys) {
        LabelSlot &s = t.entries[labelSlot(firstEight(k.label))];
        char bytes[24] = {};
        for (std::size_t i = 0; i < 20; ++i)
            bytes[i] = k.label[i];
        bytes[20] = '=';
        bytes[21] = ' ';
        for (int w = 0; w < 3; ++w)
            s.text[w] = word(bytes + 8 * w);
        const int tailBytes = k.order == 2 ? 6 : 5;
        const char keep[8] = {char(0xFF), char(0xFF), char(0xFF), char(0xFF), char(0xFF),
                              char(tailBytes > 5 ? 0xFF : 0), 0, 0};
        s.tailMask = word(keep);
        s.text[2] &= s.tailMask;
        s.order = k.order <= lastOrder ? k.order : kNoKey;
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

inline std::uint64_t load64(const char *p)
{
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

inline unsigned slotAt(const char *label)
{
    std::uint64_t first = load64(label);
    if constexpr (std::endian::native == std::endian::big)
        first = __builtin_bswap64(first);
    return labelSlot(first);
}

} // namespace labels

// Every key (a view's passes, the exports) and those a Search reads (2 to 6).
inline constexpr labels::LabelTable kAllKeys = labels::makeLabelTable(11);
inline constexpr labels::LabelTable kSearchKeys = labels::makeLabelTable(6);

// The key whose label column starts at `label` (20 readable characters), or
// kNoKey: the label alone, "=" and what follows it unchecked. One
// multiplication finds the only label it can be, and three words compare it.
inline int keyAt(const char *label)
{
    const labels::LabelSlot &s = kAllKeys.entries[labels::slotAt(label)];
    std::uint32_t c, d;
    std::memcpy(&c, label + 16, 4);
    std::memcpy(&d, &s.text[2], 4); // the first four bytes of the word in memory
    const std::uint64_t differ = (labels::load64(label) ^ s.text[0]) | (labels::load64(label + 8) ^ s.text[1]) | (c ^ d);
    return differ == 0 ? s.order : kNoKey;
}

// The key of the line whose "=" is at label + 20, that label column, the "="
// and for "MMSI NUMBER" the blank after it looked up in `table` at once, or
// kNoKey. Reads 24 bytes from `label`.
inline int lineKey(const char *label, const labels::LabelTable &table)
{
    const labels::LabelSlot &s = table.entries[labels::slotAt(label)];
    const std::uint64_t differ = (labels::load64(label) ^ s.text[0]) | (labels::load64(label + 8) ^ s.text[1]) |
                                 ((labels::load64(label + 16) & s.tailMask) ^ s.text[2]);
    return differ == 0 ? s.order : kNoKey;
}

struct Classified
{
    int key = kNoKey;
    std::size_t firstEquals = std::string_view::npos; // the item's first "=", where there is a key
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
// (nearly every one) is searched with three or four 16-byte loads and no loop:
// its "=" become a bit mask, and the usual line, a label column and its "=", is
// settled by one look-up in the label table. The item reader's promise that no
// blank follows an item lets that look-up check the blank after "MMSI NUMBER ="
// without a look at the item's length.
[[gnu::always_inline]] inline Classified classify(std::string_view item, const labels::LabelTable &table)
{
    static_assert(Platform::ItemReader::kReadable >= 64);
    Classified c;
    const std::size_t n = item.size();
    // One comparison for both: shorter than a label column, or longer than 64.
    if (n - 20 > 44) [[unlikely]] {
        if (n < 20)
            return c;
        return classifyAnyLength(item, table.lastOrder > 6);
    }
    const char *data = item.data();
    const std::uint64_t inItem = ~std::uint64_t(0) >> (64 - n);
    // A run of twenty hyphens covers one of the bytes 19, 39 and 59: only an
    // item with a hyphen there can hold one. Those bytes may lie past the
    // item (the line after a record's last is a separator); a hyphen there
    // costs the count, which stops at the item's end, and nothing else. The
    // receiver writes its separators at the line's start, which one
    // comparison settles.
    const bool hyphenAt = (data[19] == '-') | (data[39] == '-') | (data[59] == '-');
    if (hyphenAt) [[unlikely]] {
        // Past byte 39 only the hyphen at 19 can lie in a short item.
        if (std::memcmp(data, kSeparator.data(), 20) == 0 ||
            ((data[19] == '-' || n > 39) && hasRunOf20(Platform::ByteScan::mask64(data, '-') & inItem))) {
            c.key = kSeparatorKey;
            return c;
        }
    }
    constexpr std::uint64_t top = std::uint64_t(1) << 63;
    // Nearly every line is at most 48 bytes long: three loads then.
    const std::uint64_t equals =
        (n <= 48 ? Platform::ByteScan::maskBlocks<3>(data, '=') : Platform::ByteScan::mask64(data, '=')) & inItem;
    const std::uint64_t labelled = equals >> 20; // an "=" at 20 or later
    if (labelled & (labelled - 1)) [[unlikely]] {
        c.key = bestKey(data, n, equals & ~std::uint64_t(0xFFFFF), table.lastOrder);
        c.firstEquals = static_cast<std::size_t>(Platform::ByteScan::lowestBit(equals));
        return c;
    }
    // At most one: without one the look-up is at 63, in bytes that stay
    // readable, and counts for nothing.
    const std::size_t p = 20 + static_cast<std::size_t>(Platform::ByteScan::lowestBit(labelled | top >> 20));
    const int key = lineKey(data + p - 20, table);
    c.key = labelled ? key : kNoKey;
    // Only a key's value needs it.
    if (c.key != kNoKey)
        c.firstEquals = static_cast<std::size_t>(Platform::ByteScan::lowestBit(equals));
    return c;
}

inline Classified classify(std::string_view item, bool allKeys)
{
    return classify(item, allKeys ? kAllKeys : kSearchKeys);
}

// Everything from the second character after the item's first "=". The
// character right after it, normally the blank, is skipped whatever its size.
// An empty value lies at the item's end, so that it too can be read in blocks.
inline std::string_view valueOf(std::string_view item, std::size_t firstEquals)
{
    if (firstEquals == std::string_view::npos || firstEquals + 1 >= item.size())
        return item.substr(item.size());
    const std::size_t next = firstEquals + 1;
    const std::size_t skip = static_cast<unsigned char>(item[next]) < 0x80 ? 1 : charLength(item, next);
    // Within the item: a character is never longer than what is left of it.
    return std::string_view(item.data() + next + skip, item.size() - next - skip);
}

// Copies n bytes, at most 16, with two moves of fixed size that overlap
// where n is not their sum: no call, no loop.
inline void copyShort(char *to, const char *from, std::size_t n)
{
    if (n >= 8) {
        std::memcpy(to, from, 8);
        std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + n - 4, from + n - 4, 4);
    } else if (n > 0) {
        to[0] = from[0];
        to[n / 2] = from[n / 2];
        to[n - 1] = from[n - 1];
    }
}

// assignText for text within an item (readable 16 bytes from its start): a
// value of at most 16 ASCII bytes, the usual position, speed or name, is
// checked with one load and, where the field is as long already (a ship's
// positions keep their length), copied over it in place.
[[gnu::always_inline]] inline void assignItemText(std::string &out, std::string_view text)
{
    const std::size_t n = text.size();
    if (n <= 16 && Platform::ByteScan::highBits16(text.data(), n) == 0) {
        if (out.size() == n) {
            copyShort(out.data(), text.data(), n);
        } else {
            out.clear();
            out.append(text.data(), n);
        }
        return;
    }
    assignText(out, text);
}

// Where "[knots]" first occurs in a speed's value, as value.find gives it.
// The receiver writes it last, after the number: where the value's tail is
// the unit and no "[" comes before it, that is the place.
inline std::size_t speedUnitAt(std::string_view value)
{
    constexpr std::string_view unit = "[knots]";
    const std::size_t n = value.size();
    if (n >= unit.size() && n - unit.size() <= 16 &&
        std::memcmp(value.data() + n - unit.size(), unit.data(), unit.size()) == 0 &&
        (Platform::ByteScan::mask16(value.data(), '[') & ((1u << (n - unit.size())) - 1)) == 0)
        return n - unit.size();
    return value.find(unit);
}

// The reader's time when a separator's is not one.
constexpr std::string_view kStandInTime = "23:59:59";

inline void assignStandInTime(std::string &time)
{
    if (time.size() == kStandInTime.size())
        std::memcpy(time.data(), kStandInTime.data(), kStandInTime.size());
    else
        time.assign(kStandInTime);
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

#pragma once

// How the reader turns an item into a key and a value: the rules every reading
// loop shares, the window's own and the workers' that read ahead for a period
// pass. Inline, as they run for every item of every log.

#include "engine/text.h"
#include "platform/bytescan.h"

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

// The key whose label column starts at `label` (20 readable characters), or
// kNoKey. The first and third characters tell the ten labels apart, so one
// comparison settles it.
inline int keyAt(const char *label)
{
    int index;
    switch ((label[0] << 8) | label[2]) {
    case ('M' << 8) | 'S': index = 0; break;  // MMSI NUMBER
    case ('N' << 8) | 'M': index = 1; break;  // NAME
    case ('L' << 8) | 'N': index = 2; break;  // LONGITUDE
    case ('L' << 8) | 'T': index = 3; break;  // LATITUDE
    case ('S' << 8) | 'E': index = 4; break;  // SPEED OVER GROUND
    case ('D' << 8) | 'S': index = 5; break;  // DESTINATION
    case ('E' << 8) | 'T': index = 6; break;  // ESTIMATED TIME
    case ('S' << 8) | 'A': index = 7; break;  // STATIC DRAUGHT
    case ('N' << 8) | 'V': index = 8; break;  // NAVIGATIONAL STATUS
    case ('T' << 8) | 'X': index = 9; break;  // TEXT STRING
    default: return kNoKey;
    }
    return std::memcmp(label, kKeys[index].label.data(), 20) == 0 ? kKeys[index].order : kNoKey;
}

struct Classified
{
    int key = kNoKey;
    std::size_t firstEquals = std::string_view::npos; // the item's first "="
};

// The highest key of the table (lowest order) that occurs anywhere in the item,
// looking at every "=" that has a full label column before it, and the item's
// first "=", where every value starts. Items come from the item reader, whose
// buffers stay readable past an item, so whole 16-byte blocks are compared.
inline Classified classify(std::string_view item, bool allKeys)
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
        while (mask) {
            const std::size_t p = base + static_cast<std::size_t>(Platform::ByteScan::lowestBit(mask));
            mask &= mask - 1;
            if (c.firstEquals == std::string_view::npos)
                c.firstEquals = p;
            if (p < 20)
                continue;
            const int key = keyAt(data + p - 20);
            if (key >= c.key || key > lastOrder)
                continue;
            if (key == 2 && (p + 1 >= n || data[p + 1] != ' '))
                continue;
            c.key = key;
            if (c.key == 2)
                return c; // nothing ranks higher but a separator, already ruled out
        }
    }
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
inline void assignLastChars(std::string &out, std::string_view item, std::size_t count)
{
    if (item.size() >= count && isAscii(item.substr(item.size() - count))) {
        assignText(out, item.substr(item.size() - count));
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
        return t[2] == ':' && t[5] == ':';
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

#include "engine/internal.h"
#include "engine/module1.h"
#include "engine/numbers.h"
#include "engine/text.h"
#include "platform/bytescan.h"
#include "platform/itemreader.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstring>

namespace Module1 {

using namespace detail;

namespace {

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
bool hasSeparator(std::string_view item)
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
int keyAt(const char *label)
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
Classified classify(std::string_view item, bool allKeys)
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
std::string_view valueOf(std::string_view item, std::size_t firstEquals)
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
void assignLastChars(std::string &out, std::string_view item, std::size_t count)
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
bool timeIsValid(std::string_view t)
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

// Event-loop turns are offered after every item, but a turn only runs when about
// 10 ms have passed since the last one. One processEvents() costs a couple of
// microseconds even with nothing pending, which per item would cap a pass at a
// few MB/s; a hundred turns a second keep the window just as responsive. The
// clock itself is read only every 256 items.
class EventTurns
{
public:
    EventTurns() { m_clock.start(); }
    bool due()
    {
        if (++m_items < 256)
            return false;
        m_items = 0;
        if (!m_force && m_clock.elapsed() < 10)
            return false;
        m_force = false;
        m_clock.restart();
        return true;
    }
    // Inside one long item the reader calls back once per 128 KiB read:
    // there the clock alone decides.
    bool dueByClock()
    {
        if (m_clock.elapsed() < 10)
            return false;
        m_clock.restart();
        return true;
    }
    // The first item of a file gets its turn whatever the clock says, so the
    // status line shows every file's name.
    void forceNext()
    {
        m_items = 255;
        m_force = true;
    }

private:
    QElapsedTimer m_clock;
    int m_items = 255;
    bool m_force = true;
};

EventTurns &eventTurns()
{
    static EventTurns turns;
    return turns;
}

void reportSkipped(const QString &path, const QString &reason, const QString &mode)
{
    // A Search and the ship selection after it read the same files: one
    // unreadable file is one file in the report.
    const auto &skipped = passReport.skipped;
    if (std::none_of(skipped.begin(), skipped.end(), [&](const PassReport::Skipped &s) { return s.path == path; }))
        passReport.skipped.push_back({path, reason, mode});
    g_host->reportSkippedFile(path, reason);
}

} // namespace

bool readLogFile(const QString &fileName, const QString &mode)
{
    Host &host = *g_host;
    host.setStatus(mode + QStringLiteral(" : ") + fileName);

    const Pass pass = passOf(mode);
    const bool allKeys = pass == Pass::List2 || pass == Pass::Export;
    g_view = viewOf(view.viewMode);
    beginFile();
    refreshControls();

    bool stop = false;
    bool userStop = false;
    // The day index may answer for the file without reading it.
    const IndexAnswer answer = answerFromIndex(pass, fileName, userStop);
    stop = userStop;
    Platform::ItemReader reader;
    const QString path = logFolder + fileName;
    if (answer == IndexAnswer::Answered) {
        // The summary stood for the whole file: nothing to read.
    } else if (!reader.open(path)) {
        reportSkipped(path, reader.errorString(), mode);
        finishFile(fileName, false, false);
    } else {
        EventTurns &turns = eventTurns();
        if (answer != IndexAnswer::ReadAfterTurn)
            turns.forceNext();
        // A turn that asks to stop sets `stop`; the loop below then leaves
        // before the item is looked at.
        const auto turn = [&] {
            if (host.processEvents()) {
                stop = true;
                userStop = true;
                return false;
            }
            refreshControls();
            return true;
        };
        reader.setLongItemHook([&] { return !turns.dueByClock() || turn(); });
        std::string_view item;
        bool firstItem = true;
        while (reader.next(item) && !stop) {
            const Classified c = classify(item, allKeys);
            switch (c.key) {
            case kSeparatorKey:
                if (!record.recMmsi.empty() && detail::matchRecord(pass, fileName)) {
                    stop = true;
                    break;
                }
                assignLastChars(record.recTime, item, 8);
                g_timeReplaced = !timeIsValid(record.recTime);
                if (g_timeReplaced)
                    record.recTime = "23:59:59";
                noteSeparator(firstItem, item.size());
                break;
            case 2:
                // The MMSI is the item's last nine characters; its "=" plays no part.
                assignLastChars(record.recMmsi, item, 9);
                break;
            case 3: assignText(record.recName, valueOf(item, c.firstEquals)); break;
            case 4: assignText(record.recLongitude, valueOf(item, c.firstEquals)); break;
            case 5: assignText(record.recLatitude, valueOf(item, c.firstEquals)); break;
            case 6: {
                const std::string_view value = valueOf(item, c.firstEquals);
                const std::size_t unit = value.find("[knots]");
                if (unit == std::string_view::npos)
                    record.recSpeed = "0";
                else
                    assignText(record.recSpeed, value.substr(0, unit));
                break;
            }
            case 7: assignText(record.recDestination, valueOf(item, c.firstEquals)); break;
            case 8: assignText(record.recEta, valueOf(item, c.firstEquals)); break;
            case 9: assignText(record.recDraught, valueOf(item, c.firstEquals)); break;
            case 10: assignText(record.recNavStatus, valueOf(item, c.firstEquals)); break;
            case 11: assignText(record.recText, valueOf(item, c.firstEquals)); break;
            default: break;
            }
            firstItem = false;
            if (stop)
                break;
            if (turns.due() && !turn())
                break;
        }
        if (!stop && !record.recMmsi.empty())
            stop = detail::matchRecord(pass, fileName);
        if (reader.failed())
            reportSkipped(path, reader.errorString(), mode);
        finishFile(fileName, !stop && !reader.failed(), !firstItem);
        reader.close();
    }
    if (userStop) {
        // The record being read is half a record: handed to the next pass, it
        // would carry this file's MMSI and position into another file.
        emptyRecord();
        passReport.stops.push_back({mode, fileName});
    }

    for (const ChartPrimitive &p : Chart::overflowCounts(view.hourCount))
        host.draw(p);
    host.setStatus(QString());
    return stop;
}

} // namespace Module1

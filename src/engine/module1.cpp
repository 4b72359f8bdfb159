#include "engine/module1.h"

#include "engine/numbers.h"
#include "engine/text.h"
#include "platform/bytescan.h"
#include "platform/itemreader.h"

#include <QElapsedTimer>

#include <cstring>
#include <unordered_map>

namespace Module1 {

CurrentRecord record;
SearchState search;
ViewState view;
QString logFolder = QStringLiteral("../logs/");
QString kmlFilePath = kKmlFileName;

namespace {

Host *g_host = nullptr;

// The mode of a pass, decided once per file instead of comparing texts per record.
enum class Pass { Search, List1, List2 };
enum class View { Other, Dest, Kml };

// What the matcher reads of the controls, refreshed after every event-loop turn.
Criteria g_criteria;
int g_altitudeRule = 0;
View g_view = View::Other;

// Beside the ship table: MMSI to table position and the name last shown for it.
// Entries are validated against shipMmsi and shipCount on every use, so a
// command that sets shipCount to 0 invalidates them without touching this map.
struct ShipEntry
{
    int index;
    std::string name;
};
std::unordered_map<std::string, ShipEntry> g_shipIndex;

// The file last found in List2. While a pass runs List2 only grows, so a file
// once listed stays listed; this spares the linear scan for every further
// record of the selected ship in the same file.
QString g_lastListedFile;

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

// Everything from the second character after the item's first "=".
std::string_view valueOf(std::string_view item, std::size_t firstEquals)
{
    if (firstEquals == std::string_view::npos || firstEquals + 2 > item.size())
        return {};
    return item.substr(firstEquals + 2);
}

void emptyRecord()
{
    record.recMmsi.clear();
    record.recName.clear();
    record.recLongitude.clear();
    record.recLatitude.clear();
    record.recSpeed.clear();
    record.recDestination.clear();
    record.recEta.clear();
    record.recDraught.clear();
    record.recNavStatus.clear();
    record.recText.clear();
}

void refreshControls()
{
    g_criteria = g_host->criteria();
    g_altitudeRule = g_host->altitudeRule();
}

double numberOf(const std::string &text)
{
    return leadingNumber(std::string_view(text));
}

bool inAreas()
{
    const bool any = g_criteria.areaOn[0] || g_criteria.areaOn[1] || g_criteria.areaOn[2];
    if (!any)
        return true;
    const double lon = numberOf(record.recLongitude);
    const double lat = numberOf(record.recLatitude);
    for (int k = 0; k < 3; ++k) {
        if (!g_criteria.areaOn[k])
            continue;
        const double latC = g_criteria.latitude[k];
        const double lonC = g_criteria.longitude[k];
        const double r = g_criteria.range[k];
        if (lonC - r <= lon && lon <= lonC + r && latC - r <= lat && lat <= latC + r)
            return true;
    }
    return false;
}

int listedShipIndex(std::string_view mmsi)
{
    const auto it = g_shipIndex.find(std::string(mmsi));
    if (it == g_shipIndex.end())
        return -1;
    const int i = it->second.index;
    if (i < search.shipCount && search.shipMmsi[static_cast<std::size_t>(i)] == mmsi)
        return i;
    return -1;
}

QString shipItemText()
{
    return toQString(record.recMmsi) + QLatin1Char(' ') + toQString(record.recName);
}

// Name refresh: a listed ship shows the name of its latest named record.
void refreshName()
{
    const auto it = g_shipIndex.find(record.recMmsi);
    if (it == g_shipIndex.end())
        return;
    const int i = it->second.index;
    if (i >= search.shipCount || search.shipMmsi[static_cast<std::size_t>(i)] != record.recMmsi)
        return;
    if (it->second.name == record.recName)
        return; // the item already reads exactly this
    it->second.name = record.recName;
    g_host->replaceShip(i, shipItemText());
}

bool addShip()
{
    if (search.shipCount == 0)
        g_shipIndex.clear();
    g_host->appendShip(shipItemText());
    const int i = search.shipCount;
    search.shipMmsi[static_cast<std::size_t>(i)] = record.recMmsi;
    g_shipIndex[record.recMmsi] = ShipEntry{i, record.recName};
    ++search.shipCount;
    return search.shipCount >= kResultLimit;
}

bool addFile(const QString &fileName)
{
    if (fileName == g_lastListedFile || isFileListed(fileName)) {
        g_lastListedFile = fileName;
        return false;
    }
    g_host->appendFile(fileName);
    g_lastListedFile = fileName;
    const int count = g_host->fileItemCount();
    if (count >= kResultLimit)
        return true;
    if (g_host->selectedFileIndex() < 0 && count > 0)
        g_host->selectFile(0);
    return false;
}

bool matchRecord(Pass pass, const QString &fileName)
{
    bool limit = false;
    if (pass == Pass::Search && !record.recName.empty())
        refreshName();

    if (pass == Pass::List2) {
        if (record.recMmsi == search.viewMmsi)
            accumulateView();
    } else if ((g_criteria.mmsi.empty() || record.recMmsi == g_criteria.mmsi) && inAreas()) {
        if (pass == Pass::Search) {
            if (listedShipIndex(record.recMmsi) < 0)
                limit = addShip();
        } else if (record.recMmsi == search.selectedMmsi) {
            limit = addFile(fileName);
        }
    }

    if (limit) {
        g_host->showLimitMessage();
        // The message box ran an event loop of its own: the user may have edited
        // the criteria meanwhile.
        refreshControls();
    }
    emptyRecord();
    return limit;
}

Pass passOf(const QString &mode)
{
    if (mode == QLatin1String("Search"))
        return Pass::Search;
    if (mode == QLatin1String("List2"))
        return Pass::List2;
    return Pass::List1;
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

} // namespace

void setHost(Host *host)
{
    g_host = host;
}

Host *host()
{
    return g_host;
}

void resetState()
{
    record = CurrentRecord{};
    search = SearchState{};
    view = ViewState{};
    g_shipIndex.clear();
    g_lastListedFile.clear();
    g_criteria = Criteria{};
    g_altitudeRule = 0;
    g_view = View::Other;
}

QString toText(std::string_view bytes)
{
    return toQString(bytes);
}

bool isShipListed(std::string_view mmsi)
{
    return listedShipIndex(mmsi) >= 0;
}

bool isFileListed(const QString &fileName)
{
    const int n = g_host->fileItemCount();
    for (int i = 0; i < n; ++i) {
        if (g_host->fileItem(i) == fileName)
            return true;
    }
    return false;
}

bool matchRecord(const QString &mode, const QString &fileName)
{
    refreshControls();
    g_view = view.viewMode == "Dest" ? View::Dest : (view.viewMode == "KML" ? View::Kml : View::Other);
    return matchRecord(passOf(mode), fileName);
}

bool readLogFile(const QString &fileName, const QString &mode)
{
    Host &host = *g_host;
    host.setStatus(mode + QStringLiteral(" : ") + fileName);

    const Pass pass = passOf(mode);
    const bool allKeys = pass == Pass::List2;
    g_view = view.viewMode == "Dest" ? View::Dest : (view.viewMode == "KML" ? View::Kml : View::Other);
    g_lastListedFile.clear();
    refreshControls();

    bool stop = false;
    Platform::ItemReader reader;
    const QString path = logFolder + fileName;
    if (!reader.open(path)) {
        host.reportSkippedFile(path, reader.errorString());
    } else {
        EventTurns &turns = eventTurns();
        turns.forceNext();
        std::string_view item;
        while (reader.next(item)) {
            const Classified c = classify(item, allKeys);
            switch (c.key) {
            case kSeparatorKey:
                if (!record.recMmsi.empty() && matchRecord(pass, fileName)) {
                    stop = true;
                    break;
                }
                assignText(record.recTime, lastChars(item, 8));
                if (!timeIsValid(record.recTime))
                    record.recTime = "23:59:59";
                break;
            case 2: {
                // The MMSI is the item's last nine characters; its "=" plays no part.
                if (item.size() >= 9 && static_cast<unsigned char>(item[item.size() - 9]) < 0x80 &&
                    static_cast<unsigned char>(item.back()) < 0x80) {
                    assignText(record.recMmsi, item.substr(item.size() - 9));
                } else {
                    assignText(record.recMmsi, item);
                    record.recMmsi.assign(lastChars(record.recMmsi, 9));
                }
                break;
            }
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
            if (stop)
                break;
            if (turns.due()) {
                if (host.processEvents()) {
                    stop = true;
                    break;
                }
                refreshControls();
            }
        }
        if (!stop && !record.recMmsi.empty())
            stop = matchRecord(pass, fileName);
        if (reader.failed())
            host.reportSkippedFile(path, reader.errorString());
        reader.close();
    }

    for (const ChartPrimitive &p : Chart::overflowCounts(view.hourCount))
        host.draw(p);
    host.setStatus(QString());
    return stop;
}

void accumulateView()
{
    Host &host = *g_host;
    const std::string &time = record.recTime;

    const double hour = leadingNumber(firstChars(time, 2));
    const double n = roundHalfEven(hour);
    // Only hours 0 to 24 have a counter; an hour such as -1 or 99 (a damaged
    // time) is neither counted nor drawn.
    if (n >= 0 && n <= 24) {
        int &count = view.hourCount[static_cast<std::size_t>(n)];
        ++count;
        host.draw(Chart::countBar(hour, count));
    }

    std::string_view parts[3];
    int partCount = 0;
    std::size_t from = 0;
    for (;;) {
        const std::size_t colon = time.find(':', from);
        if (partCount < 3)
            parts[partCount] = std::string_view(time).substr(from, colon == std::string::npos ? std::string::npos : colon - from);
        ++partCount;
        if (colon == std::string::npos)
            break;
        from = colon + 1;
    }
    if (partCount == 3) {
        const double seconds = roundHalfEven(finite(finite(leadingNumber(parts[0]) * 3600.0) +
                                                    finite(leadingNumber(parts[1]) * 60.0) +
                                                    leadingNumber(parts[2])));
        view.recSeconds = static_cast<long long>(seconds);
        if (view.recSeconds > 0 && view.recSeconds < 86400)
            host.draw(Chart::speedTick(static_cast<double>(view.recSeconds), numberOf(record.recSpeed)));
    }

    if (g_view == View::Dest) {
        if (!record.recDestination.empty()) {
            std::string voyage = record.recDestination + "  |  " + record.recEta + "  |  " + record.recDraught;
            if (voyage != view.lastVoyage) {
                view.lastVoyage = std::move(voyage);
                host.appendChangeLine(toQString(record.recTime + " " + view.lastVoyage + "\r\n"));
            }
        }
        if (!record.recNavStatus.empty() && record.recNavStatus != view.lastNavStatus) {
            view.lastNavStatus = record.recNavStatus;
            host.appendChangeLine(toQString(record.recTime + " NAVIGATIONAL STATUS: " + view.lastNavStatus + "\r\n"));
        }
        if (!record.recText.empty() && record.recText != view.lastText) {
            view.lastText = record.recText;
            host.appendChangeLine(toQString(record.recTime + " Text telegram: " + view.lastText + "\r\n"));
        }
    } else if (g_view == View::Kml && !record.recLongitude.empty() && !record.recLatitude.empty()) {
        const double speed = numberOf(record.recSpeed);
        std::string altitude;
        if (g_altitudeRule == 0)
            altitude = numberText(finite(speed * 10) + 1);
        else if (g_altitudeRule == 1)
            altitude = numberText(finite(speed * 100) + 1);
        else
            altitude = "10";
        view.kmlLastPosition = record.recLongitude + "," + record.recLatitude + "," + altitude;
        view.kmlCoordinates += view.kmlLastPosition;
        view.kmlCoordinates += "\r\n";
        if (view.maxSpeed < speed)
            view.maxSpeed = speed;
    }
}

} // namespace Module1

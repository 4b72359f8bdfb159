#include "engine/dayindex.h"

#include "engine/internal.h"
#include "engine/module1.h"
#include "engine/numbers.h"
#include "platform/itemreader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <unordered_map>

namespace Module1 {

using namespace detail;

const ShipSummary *DaySummary::find(std::string_view mmsi) const
{
    const auto it = std::lower_bound(ships.begin(), ships.end(), mmsi,
                                     [](const ShipSummary &s, std::string_view m) { return s.mmsi < m; });
    return it != ships.end() && it->mmsi == mmsi ? &*it : nullptr;
}

namespace {

DayIndex *g_index = nullptr;

// The summary of the file being read: per record handed over, one probe of a
// small open-addressing table (an MMSI is at most 15 bytes in all but damaged
// logs, so it is its own key) whose slot holds all a record changes as a rule,
// the count, the box and the cell of the ship's last record, so that the probe
// is the one memory access; the position is the matcher's, when it read it
// for the areas. The ship's cells, a move to another cell, and its name go to
// the ship's ShipSummary, and everything else waits for the file's end.
class SummaryBuilder
{
public:
    void start()
    {
        m_ships.clear();
        m_longKeys.clear();
        m_slots.assign(1024, Slot{});
        m_mask = m_slots.size() - 1;
        m_shift = 64 - 10;
        m_summary = DaySummary{};
        m_usable = true;
    }

    void add(const CurrentRecord &r)
    {
        const bool known = g_position.known;
        const double lat = known ? g_position.latitude : positionNumber(r.recLatitude);
        const double lon = known ? g_position.longitude : positionNumber(r.recLongitude);
        const std::uint64_t cell = cellKey(cellOf(lat), cellOf(lon));
        Slot *slot = find(r.recMmsi);
        if (!slot) [[unlikely]] {
            addFirst(r, lat, lon, cell);
            return;
        }
        update(*slot, r, lat, lon, cell);
    }

    void separator(bool firstItem, std::size_t itemSize)
    {
        m_summary.setsTime = true;
        if (firstItem) {
            m_summary.firstTime = record.recTime;
            m_summary.firstTimeReplaced = g_timeReplaced;
            // Such an item spans reads, and the reader offers event-loop turns
            // before it is even classified: a skip could not repeat that.
            if (itemSize >= Platform::ItemReader::kMaxItem)
                m_usable = false;
        }
    }

    bool usable() const { return m_usable; }

    DaySummary finish(bool hasItems)
    {
        DaySummary &d = m_summary;
        d.hasItems = hasItems;
        d.lastTime = d.setsTime ? record.recTime : std::string();
        d.lastTimeReplaced = d.setsTime && g_timeReplaced;
        d.name = record.recName;
        d.longitude = record.recLongitude;
        d.latitude = record.recLatitude;
        d.speed = record.recSpeed;
        for (const Slot &slot : m_slots)
            settle(slot);
        for (const auto &[key, slot] : m_longKeys)
            settle(slot);

        d.ships.reserve(m_ships.size());
        for (ShipSummary &s : m_ships) {
            std::sort(s.cells.begin(), s.cells.end());
            s.cells.erase(std::unique(s.cells.begin(), s.cells.end()), s.cells.end());
            d.ships.push_back(std::move(s));
        }
        std::sort(d.ships.begin(), d.ships.end(),
                  [](const ShipSummary &a, const ShipSummary &b) { return a.mmsi < b.mmsi; });
        m_ships.clear();
        return std::move(d);
    }

private:
    // One cache line. The key is the MMSI's bytes with its length in the top
    // byte (an MMSI of up to 15 bytes), the count the low 32 bits of the
    // ship's records, the rest carried in its ShipSummary.
    struct alignas(64) Slot
    {
        std::uint64_t low = 0, high = 0;
        int ship = -1; // in m_ships; -1: a free slot
        std::uint32_t records = 0;
        double minLatitude = 0, maxLatitude = 0, minLongitude = 0, maxLongitude = 0;
        std::uint64_t lastCell = 0;
    };
    static constexpr std::size_t kLongKey = 15;

    // The top bits of a product, which depend on every byte of the key: the
    // low ones would see only the first digits, which many ships share.
    std::size_t home(std::uint64_t low, std::uint64_t high) const
    {
        return std::size_t(((low ^ (high * 0xC2B2AE3D27D4EB4Full)) * 0x9E3779B97F4A7C15ull) >> m_shift);
    }

    void settle(const Slot &slot)
    {
        if (slot.ship < 0)
            return;
        ShipSummary &s = m_ships[std::size_t(slot.ship)];
        s.records += slot.records;
        s.minLatitude = slot.minLatitude;
        s.maxLatitude = slot.maxLatitude;
        s.minLongitude = slot.minLongitude;
        s.maxLongitude = slot.maxLongitude;
    }

    void update(Slot &slot, const CurrentRecord &r, double lat, double lon, std::uint64_t cell)
    {
        slot.minLatitude = std::min(slot.minLatitude, lat);
        slot.maxLatitude = std::max(slot.maxLatitude, lat);
        slot.minLongitude = std::min(slot.minLongitude, lon);
        slot.maxLongitude = std::max(slot.maxLongitude, lon);
        // A ship stays in one cell for many records: only a move is noted,
        // the rest is sorted out once at the file's end.
        if (cell != slot.lastCell) [[unlikely]]
            moved(slot, cell);
        if (++slot.records == 0) [[unlikely]]
            m_ships[std::size_t(slot.ship)].records += 1ll << 32;
        if (!r.recName.empty()) [[unlikely]]
            named(slot, r.recName);
    }

    // The rare steps apart, so that the one taken for nearly every record
    // stays short.
    [[gnu::noinline]] void named(const Slot &slot, const std::string &name)
    {
        m_ships[std::size_t(slot.ship)].lastName = name;
    }

    [[gnu::noinline]] void moved(Slot &slot, std::uint64_t cell)
    {
        slot.lastCell = cell;
        m_ships[std::size_t(slot.ship)].cells.push_back(cell);
    }

    // A ship's first record, or any record of a ship with a long MMSI.
    [[gnu::noinline]] void addFirst(const CurrentRecord &r, double lat, double lon, std::uint64_t cell)
    {
        bool inserted = false;
        Slot &slot = this->slot(r.recMmsi, inserted);
        if (inserted) {
            slot.minLatitude = slot.maxLatitude = lat;
            slot.minLongitude = slot.maxLongitude = lon;
            slot.lastCell = ~cell; // so that the first cell counts as a move
        }
        update(slot, r, lat, lon, cell);
    }

    // An MMSI of at most kLongKey bytes as the table's key.
    static void keyOf(const std::string &mmsi, std::uint64_t (&key)[2])
    {
        key[0] = key[1] = 0;
        if (mmsi.size() == 9) { // the usual MMSI: two fixed-size copies
            std::memcpy(&key[0], mmsi.data(), 8);
            key[1] = static_cast<unsigned char>(mmsi[8]);
        } else {
            std::memcpy(key, mmsi.data(), mmsi.size());
        }
        key[1] |= std::uint64_t(mmsi.size()) << 56;
    }

    // The slot of a ship seen before with an MMSI of at most kLongKey bytes, or null.
    Slot *find(const std::string &mmsi)
    {
        if (mmsi.size() > kLongKey)
            return nullptr;
        std::uint64_t key[2];
        keyOf(mmsi, key);
        for (std::size_t i = home(key[0], key[1]);; i = (i + 1) & m_mask) {
            Slot &slot = m_slots[i];
            if (slot.ship < 0)
                return nullptr;
            if (slot.low == key[0] && slot.high == key[1])
                return &slot;
        }
    }

    // The ship's slot, made when `inserted`. The reference holds until the
    // next call.
    Slot &slot(const std::string &mmsi, bool &inserted)
    {
        if (mmsi.size() > kLongKey) {
            const auto [it, isNew] = m_longKeys.try_emplace(mmsi);
            if (isNew) {
                it->second.ship = newShip(mmsi);
                inserted = true;
            }
            return it->second;
        }
        std::uint64_t key[2];
        keyOf(mmsi, key);
        std::size_t i = home(key[0], key[1]);
        for (; m_slots[i].ship >= 0; i = (i + 1) & m_mask) {
            if (m_slots[i].low == key[0] && m_slots[i].high == key[1])
                return m_slots[i];
        }
        // At most half full, so that a probe stays short.
        if ((m_ships.size() + 1) * 2 > m_slots.size()) {
            grow();
            for (i = home(key[0], key[1]); m_slots[i].ship >= 0;)
                i = (i + 1) & m_mask;
        }
        Slot &slot = m_slots[i];
        slot.low = key[0];
        slot.high = key[1];
        slot.ship = newShip(mmsi);
        inserted = true;
        return slot;
    }

    int newShip(const std::string &mmsi)
    {
        m_ships.emplace_back();
        m_ships.back().mmsi = mmsi;
        // A ship that moves at all changes cell a hundred times a day or so:
        // room for that spares the doublings.
        m_ships.back().cells.reserve(128);
        return int(m_ships.size() - 1);
    }

    void grow()
    {
        std::vector<Slot> old(m_slots.size() * 2);
        old.swap(m_slots);
        m_mask = m_slots.size() - 1;
        --m_shift;
        for (const Slot &slot : old) {
            if (slot.ship < 0)
                continue;
            std::size_t i = home(slot.low, slot.high);
            while (m_slots[i].ship >= 0)
                i = (i + 1) & m_mask;
            m_slots[i] = slot;
        }
    }

    std::vector<ShipSummary> m_ships; // counts and boxes filled in at the end
    std::vector<Slot> m_slots;
    std::size_t m_mask = 0;
    int m_shift = 0; // 64 - log2 of the table's size

    std::unordered_map<std::string, Slot> m_longKeys;
    DaySummary m_summary;
    bool m_usable = true;
};

SummaryBuilder g_builder;

bool recordIsEmpty()
{
    const CurrentRecord &r = record;
    return r.recMmsi.empty() && r.recName.empty() && r.recLongitude.empty() && r.recLatitude.empty() &&
           r.recSpeed.empty() && r.recDestination.empty() && r.recEta.empty() && r.recDraught.empty() &&
           r.recNavStatus.empty() && r.recText.empty();
}

// An active area: the matcher's bounds, so a box compared with them decides
// exactly what every record in it would have given, and the cells of those
// bounds, for the ship's cells.
struct Area
{
    Square bounds;
    std::int32_t latLow, latHigh, lonLow, lonHigh;
};

std::vector<Area> activeAreas()
{
    std::vector<Area> areas;
    for (int k = 0; k < 3; ++k) {
        if (!g_criteria.areaOn[k])
            continue;
        const Square q = squareOf(g_criteria, k);
        areas.push_back({q, cellOf(q.latLow), cellOf(q.latHigh), cellOf(q.lonLow), cellOf(q.lonHigh)});
    }
    return areas;
}

bool boxInside(const ShipSummary &s, const Square &q)
{
    return q.lonLow <= s.minLongitude && s.maxLongitude <= q.lonHigh && q.latLow <= s.minLatitude &&
           s.maxLatitude <= q.latHigh;
}

bool boxTouches(const ShipSummary &s, const Square &q)
{
    return q.lonLow <= s.maxLongitude && s.minLongitude <= q.lonHigh && q.latLow <= s.maxLatitude &&
           s.minLatitude <= q.latHigh;
}

// Whether some record of the ship may lie in one of the areas: its box
// touches the square and one of its cells lies within the square's cells.
bool mayReach(const ShipSummary &s, const std::vector<Area> &areas)
{
    for (const Area &a : areas) {
        if (!boxTouches(s, a.bounds) || a.latLow > a.latHigh || a.lonLow > a.lonHigh)
            continue;
        // Cells are sorted by latitude first: the rows of the square are one run.
        auto it = std::lower_bound(s.cells.begin(), s.cells.end(), cellKey(a.latLow, a.lonLow));
        const std::uint64_t last = cellKey(a.latHigh, a.lonHigh);
        for (; it != s.cells.end() && *it <= last; ++it) {
            const std::int32_t lon = cellLongitude(*it);
            if (a.lonLow <= lon && lon <= a.lonHigh)
                return true;
        }
    }
    return false;
}

// Whether some record of the ship surely lies in one of the areas: its box
// inside a square, or one of its cells strictly inside the cells of one.
bool surelyReaches(const ShipSummary &s, const std::vector<Area> &areas)
{
    if (std::any_of(areas.begin(), areas.end(), [&](const Area &a) { return boxInside(s, a.bounds); }))
        return true;
    return std::any_of(s.cells.begin(), s.cells.end(), [&](std::uint64_t cell) {
        const std::int32_t lat = cellLatitude(cell);
        const std::int32_t lon = cellLongitude(cell);
        return std::any_of(areas.begin(), areas.end(), [&](const Area &a) {
            return a.latLow < lat && lat < a.latHigh && a.lonLow < lon && lon < a.lonHigh;
        });
    });
}

// "List1": the selected ship's file is listed, skipped or must be read.
bool answerShipSelection(const DaySummary &summary, const QString &fileName)
{
    const std::string &selected = search.selectedMmsi;
    const ShipSummary *ship = summary.find(selected);
    if (!ship || (!g_criteria.mmsi.empty() && g_criteria.mmsi != selected))
        return true;
    const std::vector<Area> areas = activeAreas();
    // One record of the ship in an area lists the file.
    if (areas.empty() || surelyReaches(*ship, areas)) {
        if (isFileListed(fileName))
            return true;
        // Listing it would reach the limit: the read shows the message where it must.
        if (g_host->fileItemCount() + 1 >= kResultLimit)
            return false;
        listFile(fileName);
        return true;
    }
    return !mayReach(*ship, areas);
}

// "Search": answered when no record could add a ship, that is when every ship
// that could pass the criteria is listed already. Then only the name refresh
// is left, and the last name of each listed ship is all that refresh keeps.
bool answerSearch(const DaySummary &summary)
{
    const std::vector<Area> areas = activeAreas();
    const auto couldAdd = [&](const ShipSummary &s) {
        if (isShipListed(s.mmsi))
            return false;
        return areas.empty() || mayReach(s, areas);
    };
    if (!g_criteria.mmsi.empty()) {
        const ShipSummary *s = summary.find(g_criteria.mmsi);
        if (s && couldAdd(*s))
            return false;
    } else if (std::any_of(summary.ships.begin(), summary.ships.end(), couldAdd)) {
        return false;
    }
    for (const ShipSummary &s : summary.ships) {
        if (!s.lastName.empty())
            refreshListedName(s.mmsi, s.lastName);
    }
    return true;
}

} // namespace

void setDayIndex(DayIndex *index)
{
    g_index = index;
}

DayIndex *dayIndex()
{
    return g_index;
}

namespace detail {

IndexAnswer answerFromIndex(Pass pass, const QString &fileName, bool &userStop)
{
    g_buildingSummary = false;
    // Summaries are of "Search" and "List1" passes, which read the same keys,
    // and hold for a file read from an empty record only.
    if (!g_index || (pass != Pass::Search && pass != Pass::List1) || !recordIsEmpty())
        return IndexAnswer::Read;
    DayIndex::Lookup found = g_index->lookup(logFolder, fileName);
    if (!found.summary) {
        if (found.wantSummary) {
            g_builder.start();
            g_buildingSummary = true;
        }
        return IndexAnswer::Read;
    }
    const DaySummary &summary = *found.summary;

    // What a read does up to its first event-loop turn, and the turn itself.
    if (summary.hasItems) {
        if (!summary.firstTime.empty()) {
            record.recTime = summary.firstTime;
            g_timeReplaced = summary.firstTimeReplaced;
        }
        if (g_host->processEvents()) {
            userStop = true;
            return IndexAnswer::Answered;
        }
        refreshControls();
    }

    const bool answered = pass == Pass::Search ? answerSearch(summary) : answerShipSelection(summary, fileName);
    if (!answered)
        return summary.hasItems ? IndexAnswer::ReadAfterTurn : IndexAnswer::Read;

    // The state the file leaves for the next one.
    if (summary.setsTime) {
        record.recTime = summary.lastTime;
        g_timeReplaced = summary.lastTimeReplaced;
    }
    record.recName = summary.name;
    record.recLongitude = summary.longitude;
    record.recLatitude = summary.latitude;
    record.recSpeed = summary.speed;
    return IndexAnswer::Answered;
}

bool g_buildingSummary = false;

void addRecordToSummary()
{
    g_builder.add(record);
}

void noteSeparator(bool firstItem, std::size_t itemSize)
{
    if (g_buildingSummary)
        g_builder.separator(firstItem, itemSize);
}

void finishFile(const QString &fileName, bool readToEnd, bool hasItems)
{
    if (!g_buildingSummary)
        return;
    g_buildingSummary = false;
    if (readToEnd && g_builder.usable())
        g_index->store(logFolder, fileName, g_builder.finish(hasItems));
}

} // namespace detail

} // namespace Module1

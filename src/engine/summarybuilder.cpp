#include "engine/summarybuilder.h"

#include "engine/numbers.h"
#include "platform/itemreader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <span>
#include <unordered_map>

namespace Module1::detail {

// The ships of one file: per note, one probe of a small open-addressing table
// (an MMSI is at most 15 bytes in all but damaged logs, so it is its own key)
// whose slot holds all a record changes as a rule, the count, the box and the
// cell of the ship's last record, so that the probe is the one memory access.
// A move to another cell goes to one list of the file's moves, a name to the
// ship's ShipSummary, and everything else waits for the file's end.
class ShipTable
{
public:
    using Note = SummaryBuilder::Note;
    // A ship's move to another cell.
    struct Move
    {
        std::uint64_t cell;
        std::uint32_t ship; // in m_ships
    };

    // A note's time bytes as StationTally's stamp. Records follow each other
    // within seconds: when only the seconds' digits differ from the last time
    // read, its hour and minute stand.
    std::uint32_t stampOf(std::uint64_t time)
    {
        const std::uint32_t noPosition = time & SummaryBuilder::kNoPositionTime ? kNoPositionStamp : 0;
        time &= ~SummaryBuilder::kNoPositionTime;
        if (time != m_lastTime) [[unlikely]] {
            char text[8];
            std::memcpy(text, &time, 8);
            int second = -1;
            if (m_minute >= 0 && ((time ^ m_lastText) & 0xffffffffffffull) == 0) {
                const char a = text[6], b = text[7];
                if (a >= '0' && a <= '5' && b >= '0' && b <= '9')
                    second = m_minute + (a - '0') * 10 + (b - '0');
            } else {
                second = time ? secondOfDay(std::string_view(text, 8)) : -1;
                m_minute = second < 0 ? -1 : second - second % 60;
                m_lastText = time;
            }
            m_lastTime = time;
            m_lastStamp = second < 0 ? kUntimedStamp : std::uint32_t(second);
        }
        return m_lastStamp | noPosition;
    }

    ShipTable() { resize(kSmallest); }

    // The table emptied. It keeps its size from file to file: grown anew
    // for each day of many ships, it cost a rehash and a fresh block of
    // memory every day.
    void reset()
    {
        for (Slot &slot : m_slots)
            slot.ship = -1;
        clear();
    }

    // After a day of far more ships than this one the table shrinks again,
    // so that the days after it neither keep its memory nor sweep it.
    void fit()
    {
        const std::size_t needed = std::max(kSmallest, std::bit_ceil(2 * m_shipCount));
        if (m_slots.size() > 16 * needed)
            resize(needed);
    }

    void clear()
    {
        m_shipCount = 0;
        m_station.reset();
        m_longKeys.clear();
        m_moves.clear();
        m_lastTime = 0;
        m_lastStamp = kUntimedStamp;
        m_minute = -1;
    }

    // The notes of a batch, consuming its texts in their order.
    void add(const Note *notes, std::size_t count, const std::vector<std::string> &texts)
    {
        std::size_t text = 0;
        // A table grown beyond its smallest size holds more ships than the
        // caches keep at hand (a few dozen, as a rule, fit them).
        const bool many = m_slots.size() > kSmallest;
        for (std::size_t i = 0; i < count; ++i) {
            // The slot of a note some way ahead is asked for now: the table
            // is cold when a file's notes arrive, and waiting for each slot
            // in turn was a third of the time here on a day of many ships.
            if (many && i + kAhead < count)
                __builtin_prefetch(&m_slots[home(notes[i + kAhead].low, notes[i + kAhead].high)]);
            const Note &n = notes[i];
            if (!(n.high & SummaryBuilder::kFlags)) [[likely]] {
                const double lat = n.latitude, lon = n.longitude;
                const std::uint64_t cell = cellKey(cellOf(lat), cellOf(lon));
                Slot *slot = find(n.low, n.high);
                if (slot) [[likely]]
                    update(*slot, lat, lon, cell);
                else
                    slot = &addFirst(n.low, n.high, {}, lat, lon, cell);
                m_station.note(std::size_t(slot->ship), stampOf(n.time), lat, lon, cell);
                continue;
            }
            const std::string *mmsi = n.high & SummaryBuilder::kLongMmsi ? &texts[text++] : nullptr;
            double lat = n.latitude, lon = n.longitude;
            std::uint64_t high = n.high & ~SummaryBuilder::kFlags;
            if (n.high & SummaryBuilder::kPositionTexts) {
                lat = positionNumber(texts[text++]);
                lon = positionNumber(texts[text++]);
            } else if (n.high & SummaryBuilder::kShortTexts) {
                char bytes[16];
                std::memcpy(bytes, &n.latitude, 8);
                std::memcpy(bytes + 8, &n.longitude, 8);
                lat = positionNumber(std::string_view(bytes, (high >> 48) & 0xf));
                lon = positionNumber(std::string_view(bytes + 8, (high >> 52) & 0xf));
                high &= ~(std::uint64_t(0xff) << 48);
            }
            const std::uint64_t cell = cellKey(cellOf(lat), cellOf(lon));
            Slot *slot = mmsi ? nullptr : find(n.low, high);
            if (!slot)
                slot = &addFirst(n.low, high, mmsi ? *mmsi : std::string(), lat, lon, cell);
            else
                update(*slot, lat, lon, cell);
            m_station.note(std::size_t(slot->ship), stampOf(n.time), lat, lon, cell);
            if (n.high & SummaryBuilder::kNamed)
                m_ships[std::size_t(slot->ship)].lastName = texts[text++];
        }
    }

    // The ships, sorted by MMSI with their cells sorted, and the station's
    // figures of the file; the table is left empty.
    std::vector<ShipSummary> take(StationDay &station)
    {
        // Settled and emptied in one pass.
        for (Slot &slot : m_slots) {
            settle(slot);
            slot.ship = -1;
        }
        for (const auto &[key, slot] : m_longKeys)
            settle(slot);
        const std::size_t count = m_shipCount;
        groupCells();
        const std::vector<std::uint32_t> byMmsi = orderByMmsi();
        std::vector<std::uint32_t> order(count);
        // Each made in place as it is filled, not all cleared beforehand and
        // written again (a day of many ships is a block of some 100 KB).
        std::vector<ShipSummary> ships;
        ships.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t index = byMmsi[i];
            order[index] = std::uint32_t(i);
            Ship &ship = m_ships[index];
            ShipSummary &s = ships.emplace_back();
            if (ship.longMmsi.empty())
                s.mmsi = keyText(ship.low, ship.high);
            else
                s.mmsi = std::move(ship.longMmsi);
            s.records = ship.records;
            s.minLatitude = ship.minLatitude;
            s.maxLatitude = ship.maxLatitude;
            s.minLongitude = ship.minLongitude;
            s.maxLongitude = ship.maxLongitude;
            if (!ship.lastName.empty())
                s.lastName = std::move(ship.lastName);
            std::uint64_t *first = m_shipCells.data() + m_cellStart[index], *last = m_shipCells.data() + m_cellStart[index + 1];
            sortCells(first, last);
            s.cells.assign(first, std::unique(first, last));
        }
        std::vector<std::uint32_t> hours(count);
        station = m_station.take(order, hours);
        for (std::size_t i = 0; i < count; ++i)
            ships[i].hours = hours[i];
        fit();
        clear();
        return ships;
    }

private:
    // The indices of m_ships in the order of their MMSIs as strings. An MMSI
    // of up to 15 bytes compares as two big-endian numbers, its length in the
    // last byte (a shorter MMSI is a prefix padded with zeros, and comes first
    // on a tie, as with strings): cheaper than comparing the strings. Its key
    // holds just that, in the other byte order.
    std::vector<std::uint32_t> orderByMmsi() const
    {
        std::vector<std::uint32_t> order(m_shipCount);
        if (!m_longKeys.empty()) {
            std::vector<std::string> mmsis(m_shipCount);
            for (std::size_t i = 0; i < order.size(); ++i) {
                const Ship &s = m_ships[i];
                order[i] = std::uint32_t(i);
                mmsis[i] = s.longMmsi.empty() ? keyText(s.low, s.high) : s.longMmsi;
            }
            std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return mmsis[a] < mmsis[b]; });
            return order;
        }
        if (std::vector<std::uint64_t> packed = packedKeys(); !packed.empty()) {
            // Sorted by a radix sort of the 36 bits in four passes: no
            // comparison to mispredict, a linear pass each.
            constexpr int kDigitBits = 9;
            std::vector<std::uint64_t> other(packed.size());
            std::uint64_t *from = packed.data(), *to = other.data();
            for (int shift = 20; shift < 56; shift += kDigitBits) {
                std::array<std::uint32_t, 1 << kDigitBits> counts{};
                for (const std::uint64_t key : std::span(from, packed.size()))
                    ++counts[(key >> shift) & ((1 << kDigitBits) - 1)];
                std::uint32_t start = 0;
                for (std::uint32_t &c : counts)
                    start += std::exchange(c, start);
                for (const std::uint64_t key : std::span(from, packed.size()))
                    to[counts[(key >> shift) & ((1 << kDigitBits) - 1)]++] = key;
                std::swap(from, to);
            }
            for (std::size_t i = 0; i < packed.size(); ++i)
                order[i] = std::uint32_t(from[i] & (kPackedShips - 1));
            return order;
        }
        struct Key
        {
            std::uint64_t high, low;
            std::uint32_t ship;
        };
        std::vector<Key> keys(m_shipCount);
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const Ship &s = m_ships[i];
            keys[i] = {bigEndian(s.low), bigEndian(s.high), std::uint32_t(i)};
        }
        std::sort(keys.begin(), keys.end(),
                  [](const Key &a, const Key &b) { return a.high != b.high ? a.high < b.high : a.low < b.low; });
        for (std::size_t i = 0; i < keys.size(); ++i)
            order[i] = keys[i].ship;
        return order;
    }

    // Nine-byte MMSIs of digits, as a rule all of a day's: a byte from '0' to
    // '?' orders as its low four bits, so the nine of them make a 36-bit
    // number in the order of the strings, and each ship one number to sort,
    // with its index in the low bits. Empty for any other day.
    static constexpr std::uint64_t kPackedShips = 1 << 20;
    std::vector<std::uint64_t> packedKeys() const
    {
        if (m_shipCount >= kPackedShips)
            return {};
        std::vector<std::uint64_t> packed(m_shipCount);
        for (std::size_t i = 0; i < m_shipCount; ++i) {
            const Ship &s = m_ships[i];
            if ((s.low & 0xf0f0f0f0f0f0f0f0u) != 0x3030303030303030u || (s.high & ~std::uint64_t(0xf)) != (9ull << 56 | 0x30))
                return {};
            std::uint64_t x = bigEndian(s.low) & 0x0f0f0f0f0f0f0f0fu;
            x = (x | x >> 4) & 0x00ff00ff00ff00ffu;
            x = (x | x >> 8) & 0x0000ffff0000ffffu;
            x = (x | x >> 16) & 0x00000000ffffffffu;
            packed[i] = (x << 4 | (s.high & 0xf)) << 20 | i;
        }
        return packed;
    }

    // The MMSI of a key of up to kLongKey bytes: the bytes, the length last.
    static std::string keyText(std::uint64_t low, std::uint64_t high)
    {
        char bytes[16];
        std::memcpy(bytes, &low, 8);
        std::memcpy(bytes + 8, &high, 8);
        return std::string(bytes, std::size_t(high >> 56));
    }

    // The eight bytes of a key word as a big-endian number.
    static std::uint64_t bigEndian(std::uint64_t word)
    {
        unsigned char bytes[8];
        std::memcpy(bytes, &word, 8);
        std::uint64_t v = 0;
        for (unsigned char b : bytes)
            v = v << 8 | b;
        return v;
    }

    static constexpr std::size_t kAhead = 8; // notes, see add()
    static constexpr std::size_t kSmallest = 1024; // slots

    // One cache line. The count is the low 32 bits of the ship's records,
    // the rest carried in its ShipSummary.
    struct alignas(64) Slot
    {
        std::uint64_t low = 0, high = 0;
        int ship = -1; // in m_ships; -1: a free slot
        std::uint32_t records = 0;
        double minLatitude = 0, maxLatitude = 0, minLongitude = 0, maxLongitude = 0;
        std::uint64_t lastCell = 0;
    };

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
        Ship &s = m_ships[std::size_t(slot.ship)];
        s.records += slot.records;
        s.minLatitude = slot.minLatitude;
        s.maxLatitude = slot.maxLatitude;
        s.minLongitude = slot.minLongitude;
        s.maxLongitude = slot.maxLongitude;
    }

    void update(Slot &slot, double lat, double lon, std::uint64_t cell)
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
    }

    void moved(Slot &slot, std::uint64_t cell)
    {
        slot.lastCell = cell;
        m_moves.push_back({cell, std::uint32_t(slot.ship)});
    }

    // Every ship's moves in m_shipCells, from m_cellStart[ship] on: counted,
    // then placed.
    void groupCells()
    {
        const std::size_t count = m_shipCount;
        m_cellStart.assign(count + 1, 0);
        for (const Move &m : m_moves)
            ++m_cellStart[m.ship + 1];
        for (std::size_t i = 0; i < count; ++i)
            m_cellStart[i + 1] += m_cellStart[i];
        m_cellNext.assign(m_cellStart.begin(), m_cellStart.end() - 1);
        m_shipCells.resize(m_moves.size());
        for (const Move &m : m_moves)
            m_shipCells[m_cellNext[m.ship]++] = m.cell;
    }

    // Most ships visit a few cells a day: an insertion sort beats the
    // general one on those.
    static void sortCells(std::uint64_t *first, std::uint64_t *last)
    {
        if (last - first > 16) {
            std::sort(first, last);
            return;
        }
        for (std::uint64_t *i = first + 1; i < last; ++i) {
            const std::uint64_t cell = *i;
            std::uint64_t *j = i;
            for (; j > first && j[-1] > cell; --j)
                *j = j[-1];
            *j = cell;
        }
    }

    // A ship's first record, or any record of a ship with a long MMSI.
    [[gnu::noinline]] Slot &addFirst(std::uint64_t low, std::uint64_t high, const std::string &longMmsi, double lat,
                                     double lon, std::uint64_t cell)
    {
        bool inserted = false;
        Slot &slot = longMmsi.empty() ? this->slot(low, high, inserted) : longSlot(longMmsi, inserted);
        if (inserted) {
            slot.minLatitude = slot.maxLatitude = lat;
            slot.minLongitude = slot.maxLongitude = lon;
            slot.lastCell = ~cell; // so that the first cell counts as a move
        }
        update(slot, lat, lon, cell);
        return slot;
    }

    Slot *find(std::uint64_t low, std::uint64_t high)
    {
        for (std::size_t i = home(low, high);; i = (i + 1) & m_mask) {
            Slot &slot = m_slots[i];
            if (slot.ship < 0)
                return nullptr;
            if (slot.low == low && slot.high == high)
                return &slot;
        }
    }

    Slot &longSlot(const std::string &mmsi, bool &inserted)
    {
        const auto [it, isNew] = m_longKeys.try_emplace(mmsi);
        if (isNew) {
            it->second.ship = newShip(0, 0, mmsi);
            inserted = true;
        }
        return it->second;
    }

    // The slot of the ship with this key, made when `inserted`. The
    // reference holds until the next call.
    Slot &slot(std::uint64_t low, std::uint64_t high, bool &inserted)
    {
        std::size_t i = home(low, high);
        for (; m_slots[i].ship >= 0; i = (i + 1) & m_mask) {
            if (m_slots[i].low == low && m_slots[i].high == high)
                return m_slots[i];
        }
        // At most half full, so that a probe stays short.
        if ((m_shipCount + 1) * 2 > m_slots.size()) {
            grow();
            for (i = home(low, high); m_slots[i].ship >= 0;)
                i = (i + 1) & m_mask;
        }
        Slot &slot = m_slots[i];
        slot.low = low;
        slot.high = high;
        slot.records = 0;
        slot.ship = newShip(low, high, {});
        inserted = true;
        return slot;
    }

    // A ship's place in m_ships, whose entries are kept from file to file
    // with their strings' buffers.
    int newShip(std::uint64_t low, std::uint64_t high, const std::string &longMmsi)
    {
        if (m_shipCount == m_ships.size())
            m_ships.emplace_back();
        Ship &s = m_ships[m_shipCount];
        s.low = low;
        s.high = high;
        if (longMmsi.empty())
            s.longMmsi.clear();
        else
            s.longMmsi = longMmsi;
        s.lastName.clear();
        s.records = 0;
        char bytes[16];
        std::memcpy(bytes, &low, 8);
        std::memcpy(bytes + 8, &high, 8);
        m_station.addShip(longMmsi.empty() ? std::string_view(bytes, std::size_t(high >> 56)) : std::string_view(longMmsi));
        return int(m_shipCount++);
    }

    // Empty, with `size` (a power of two) slots.
    void resize(std::size_t size)
    {
        m_slots.assign(size, Slot{});
        m_slots.shrink_to_fit();
        m_mask = size - 1;
        m_shift = 64 - std::countr_zero(size);
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

    // A ship of the file: what its slot does not hold, and the slot's figures
    // at the end.
    struct Ship
    {
        std::uint64_t low = 0, high = 0; // the slot's key
        std::string longMmsi; // an MMSI of over kLongKey bytes, else empty
        std::string lastName;
        long long records = 0;
        double minLatitude = 0, maxLatitude = 0, minLongitude = 0, maxLongitude = 0;
    };
    std::vector<Ship> m_ships; // the first m_shipCount in use
    std::size_t m_shipCount = 0;
    // Every move of a ship to another cell, in one list kept from file to
    // file: a ship then costs one allocation, the summary's own copy of its
    // sorted cells, whether it moves a few times a day or hundreds.
    std::vector<Move> m_moves;
    // The moves by ship at the file's end: where each ship's start in m_shipCells.
    std::vector<std::size_t> m_cellStart, m_cellNext;
    std::vector<std::uint64_t> m_shipCells;
    std::vector<Slot> m_slots;
    std::size_t m_mask = 0;
    int m_shift = 0; // 64 - log2 of the table's size
    std::unordered_map<std::string, Slot> m_longKeys;
    StationTally m_station;
    std::uint64_t m_lastTime = 0; // see stampOf()
    std::uint32_t m_lastStamp = kUntimedStamp;
    std::uint64_t m_lastText = 0; // a note's time bytes, as in m_lastTime
    int m_minute = -1; // of m_lastText, when it is a time of day
};

SummaryBuilder::SummaryBuilder() = default;

SummaryBuilder::~SummaryBuilder()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void SummaryBuilder::start()
{
    if (m_started)
        discard();
    // Made with the first file summarised, so that a program that never
    // builds a summary has neither the thread nor its 200 KB of tables.
    if (!m_thread.joinable()) {
        m_table = std::make_unique<ShipTable>();
        m_batches = 1;
        takeBatch(std::make_unique<Batch>());
        m_thread = std::thread([this] { run(); });
    }
    m_summary = DaySummary{};
    m_time = 0;
    m_usable = true;
    m_started = true;
}

void SummaryBuilder::separator(bool firstItem, std::size_t itemSize, const std::string &time, bool replaced)
{
    m_summary.setsTime = true;
    if (firstItem) {
        m_summary.firstTime = time;
        m_summary.firstTimeReplaced = replaced;
        // Such an item spans reads, and the reader offers event-loop turns
        // before it is even classified: a skip could not repeat that.
        if (itemSize >= Platform::ItemReader::kMaxItem)
            m_usable = false;
    }
}

void SummaryBuilder::finishLater(bool hasItems, const CurrentRecord &r, bool timeReplaced)
{
    // The other thread completes m_finished; this one touches it again only
    // in result(), once the other is done with it.
    DaySummary &d = m_finished;
    d = std::move(m_summary);
    d.hasItems = hasItems;
    d.lastTime = d.setsTime ? r.recTime : std::string();
    d.lastTimeReplaced = d.setsTime && timeReplaced;
    d.name = r.recName;
    d.longitude = r.recLongitude;
    d.latitude = r.recLatitude;
    d.speed = r.recSpeed;

    handOver(Batch::End::Finish);
    m_started = false;
}

DaySummary SummaryBuilder::result()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_resultReady; });
    m_resultReady = false;
    return std::move(m_finished);
}

void SummaryBuilder::discard()
{
    handOver(Batch::End::Discard);
    m_started = false;
}

// Any other record: an MMSI of another length, a name, or a position the
// matcher did not read.
void SummaryBuilder::addOther(const CurrentRecord &r, bool known, double latitude, double longitude,
                              std::uint64_t stamp)
{
    Note &n = *m_cursor;
    n.time = stamp;
    const std::string &mmsi = r.recMmsi;
    std::uint64_t key[2] = {0, 0};
    if (mmsi.size() <= kLongKey) {
        std::memcpy(key, mmsi.data(), mmsi.size());
        key[1] |= std::uint64_t(mmsi.size()) << 56;
    } else {
        key[1] = kLongMmsi;
        m_batch->texts.push_back(mmsi);
    }
    if (known) {
        n.latitude = latitude;
        n.longitude = longitude;
    } else {
        key[1] |= positionTexts(r, n, key[1]);
    }
    if (!r.recName.empty()) {
        key[1] |= kNamed;
        m_batch->texts.push_back(r.recName);
    }
    n.low = key[0];
    n.high = key[1];
    if (++m_cursor == m_batchEnd)
        submitFull();
}

std::uint64_t SummaryBuilder::positionTexts(const CurrentRecord &r, Note &n, std::uint64_t high)
{
    const std::string &lat = r.recLatitude, &lon = r.recLongitude;
    // The receiver's "33.9119" and "131.1436" fit in the note's place for the
    // numbers (see add()).
    if (lat.size() <= 8 && lon.size() <= 8 && (high >> 56) == 9) {
        std::memcpy(&n.latitude, lat.data(), 8);
        std::memcpy(&n.longitude, lon.data(), 8);
        return kShortTexts | (std::uint64_t(lat.size()) << 48) | (std::uint64_t(lon.size()) << 52);
    }
    m_batch->texts.push_back(lat);
    m_batch->texts.push_back(lon);
    return kPositionTexts;
}

void SummaryBuilder::submitFull()
{
    handOver(Batch::End::None);
}

void SummaryBuilder::handOver(Batch::End end)
{
    m_batch->count = std::size_t(m_cursor - m_batch->notes.data());
    m_batch->end = end;
    submit(std::move(m_batch));
    takeBatch(freeBatch());
}

void SummaryBuilder::takeBatch(std::unique_ptr<Batch> batch)
{
    m_batch = std::move(batch);
    m_cursor = m_batch->notes.data();
    m_batchEnd = m_cursor + m_batch->notes.size();
}

void SummaryBuilder::submit(std::unique_ptr<Batch> batch)
{
    bool wake;
    {
        std::lock_guard lock(m_mutex);
        wake = batch->end != Batch::End::None || m_queue.size() + 1 >= kWakeAt;
        m_queue.push_back(std::move(batch));
    }
    if (wake)
        m_changed.notify_all();
}

std::unique_ptr<SummaryBuilder::Batch> SummaryBuilder::freeBatch()
{
    std::unique_lock lock(m_mutex);
    if (m_free.empty() && m_batches < kMaxBatches) {
        ++m_batches;
        lock.unlock();
        return std::make_unique<Batch>();
    }
    if (m_free.empty()) {
        // Every batch is out: some wait for the other thread, which was woken
        // when they reached kWakeAt, but a nudge costs nothing on this rare path.
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return !m_free.empty(); });
    }
    std::unique_ptr<Batch> batch = std::move(m_free.back());
    m_free.pop_back();
    return batch;
}

void SummaryBuilder::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_quit || !m_queue.empty(); });
        if (m_quit)
            return;
        std::unique_ptr<Batch> batch = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();

        if (batch->end == Batch::End::Discard) {
            m_table->reset();
        } else {
            m_table->add(batch->notes.data(), batch->count, batch->texts);
            if (batch->end == Batch::End::Finish) {
                m_finished.ships = m_table->take(m_finished.station);
            }
        }
        const bool finished = batch->end == Batch::End::Finish;
        batch->count = 0;
        batch->texts.clear();
        batch->end = Batch::End::None;

        lock.lock();
        m_free.push_back(std::move(batch));
        if (finished)
            m_resultReady = true;
        m_changed.notify_all();
    }
}

} // namespace Module1::detail

#include "engine/internal.h"
#include "engine/module1.h"
#include "engine/numbers.h"
#include "engine/text.h"

#include <unordered_map>

namespace Module1 {

using namespace detail;

detail::RecordPosition detail::g_position;
detail::RecordPosition detail::g_workerPosition;

namespace {

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


bool inAreas()
{
    const bool any = g_criteria.areaOn[0] || g_criteria.areaOn[1] || g_criteria.areaOn[2];
    if (!any)
        return true;
    // positionNumber gives what numberOf gives, faster for the receiver's numbers.
    const double lon = g_workerPosition.known ? g_workerPosition.longitude : positionNumber(record.recLongitude);
    const double lat = g_workerPosition.known ? g_workerPosition.latitude : positionNumber(record.recLatitude);
    g_position = {true, lat, lon};
    for (int k = 0; k < 3; ++k) {
        if (!g_criteria.areaOn[k])
            continue;
        const Square q = squareOf(g_criteria, k);
        if (q.lonLow <= lon && lon <= q.lonHigh && q.latLow <= lat && lat <= q.latHigh)
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

QString shipItemText(const std::string &mmsi, const std::string &name)
{
    return toQString(mmsi) + QLatin1Char(' ') + toQString(name);
}

// Name refresh: a listed ship shows the name of its latest named record.
void refreshName(const std::string &mmsi, const std::string &name)
{
    const auto it = g_shipIndex.find(mmsi);
    if (it == g_shipIndex.end())
        return;
    const int i = it->second.index;
    if (i >= search.shipCount || search.shipMmsi[static_cast<std::size_t>(i)] != mmsi)
        return;
    if (it->second.name == name)
        return; // the item already reads exactly this
    it->second.name = name;
    g_host->replaceShip(i, shipItemText(mmsi, name));
}

bool addShip()
{
    // The pass stops at the limit, so the table never overflows; a direct
    // call past it only reports the limit again.
    if (search.shipCount >= kResultLimit)
        return true;
    if (search.shipCount == 0)
        g_shipIndex.clear();
    g_host->appendShip(shipItemText(record.recMmsi, record.recName));
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

} // namespace

bool detail::matchRecord(Pass pass, const QString &fileName)
{
    bool limit = false;
    bool stop = false;
    if (pass == Pass::Search && !record.recName.empty())
        refreshName(record.recMmsi, record.recName);

    if (pass == Pass::Report) {
        // Every record counts for the station; only the summary takes it.
    } else if (pass == Pass::List2) {
        if (record.recMmsi == search.viewMmsi)
            accumulateView();
    } else if (pass == Pass::Passages) {
        // A passage needs the ship's positions outside the squares as well.
        if (g_criteria.mmsi.empty() || record.recMmsi == g_criteria.mmsi)
            passageRecord(fileName);
    } else if ((g_criteria.mmsi.empty() || record.recMmsi == g_criteria.mmsi) && inAreas()) {
        if (pass == Pass::Search) {
            if (listedShipIndex(record.recMmsi) < 0)
                limit = addShip();
        } else if (pass == Pass::Export) {
            stop = exportRecord(fileName);
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
    noteRecord(); // the day index's summary of the file, when one is being made
    g_position.known = false;
    emptyRecord();
    return limit || stop;
}

void detail::resetMatcher()
{
    g_shipIndex.clear();
    g_lastListedFile.clear();
}

void detail::beginFile()
{
    g_lastListedFile.clear();
}

void detail::listFile(const QString &fileName)
{
    addFile(fileName);
}

void detail::refreshListedName(const std::string &mmsi, const std::string &name)
{
    refreshName(mmsi, name);
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
    g_view = viewOf(view.viewMode);
    return detail::matchRecord(passOf(mode), fileName);
}

namespace detail {

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

} // namespace detail

} // namespace Module1

#include "engine/internal.h"
#include "engine/module1.h"

#include "engine/numbers.h"
#include "engine/text.h"
#include "engine/readahead.h"
#include "platform/files.h"

#include <QFileInfo>

#include <algorithm>
#include <optional>

namespace Module1 {

namespace {

// The files of the period from the stopped one on, as the period stands now.
QStringList unreadFrom(const QStringList &names, qsizetype stopped, const QString &first, const QString &last)
{
    QStringList paths;
    for (qsizetype i = stopped; i < names.size(); ++i) {
        const QString date = leftChars(names[i], 8);
        if (first <= date && date <= last)
            paths << logFolder + names[i];
    }
    return paths;
}

// The workers of a period pass that reads with more than one thread, and the
// files of the period they are given: the pass's file and those after it, as
// many as keep every worker busy, leaving out those the index will answer.
class PassWorkers
{
public:
    PassWorkers(detail::Pass pass, int jobs)
        : m_pass(pass), m_ahead(jobs, pass == detail::Pass::Export), m_outer(detail::g_readAhead)
    {
        detail::g_readAhead = &m_ahead;
    }
    ~PassWorkers()
    {
        // A pass started from a window during another's event-loop turn hands
        // the workers back; the outer pass then finds its files' steps again.
        detail::g_readAhead = m_outer;
        m_ahead.cancel();
        detail::forgetEarlyLookups();
    }
    PassWorkers(const PassWorkers &) = delete;
    PassWorkers &operator=(const PassWorkers &) = delete;

    void feed(const QStringList &names, qsizetype from, const QString &first, const QString &last)
    {
        m_next = std::max(m_next, from);
        // The criteria the workers judge records by: the controls as the
        // file's read will find them, as nothing runs between here and there.
        detail::refreshControls();
        detail::ReadFilter filter;
        filter.on = true;
        filter.pass = m_pass;
        filter.criteria = detail::g_criteria;
        filter.selectedMmsi = search.selectedMmsi;
        filter.notes = detail::summariesMayBeBuilt(m_pass);
        // Lookups ahead hold summaries: a warm index must not have the whole
        // year's in memory at once.
        const qsizetype horizon = from + 4 * m_ahead.jobs() + 4;
        while (m_next < names.size() && m_next < horizon && m_ahead.outstanding() <= m_ahead.jobs()) {
            const QString &name = names[m_next++];
            const QString date = leftChars(name, 8);
            if (first > date || date > last)
                continue;
            const bool read = detail::readAhead(m_pass, name);
            // The day before one the squares' ships reach holds the fixes
            // before their entries: a passages pass reads it too.
            if (read && m_pass == detail::Pass::Passages && !m_skipped.isEmpty() &&
                detail::passagesReadDayBefore(m_skipped, name))
                m_ahead.request(m_skipped, logFolder + m_skipped, filter);
            m_skipped = read ? QString() : name;
            if (read)
                m_ahead.request(name, logFolder + name, filter);
        }
    }

private:
    detail::Pass m_pass;
    detail::ReadAhead m_ahead;
    detail::ReadAhead *m_outer;
    qsizetype m_next = 0;
    QString m_skipped; // the last file of the period left to the index
};

} // namespace

bool periodPass(const QString &mode)
{
    Host &host = *Module1::host();
    const detail::StoreSummariesLater storeLater;
    const QStringList names = Platform::listFiles(logFolder, kLogSuffix);
    const detail::Pass pass = detail::passOf(mode);
    const int jobs = readJobs();
    std::optional<PassWorkers> workers;
    if (jobs > 1 && pass != detail::Pass::List2)
        workers.emplace(pass, jobs);
    bool inPeriod = false;
    for (qsizetype i = 0; i < names.size(); ++i) {
        // Read afresh for every name: an edit made during the pass applies to
        // the files still to come.
        const QString first = host.periodFirst();
        const QString last = host.periodLast();
        const QString date = leftChars(names[i], 8);
        if (first <= date && date <= last) {
            inPeriod = true;
            if (workers)
                workers->feed(names, i, first, last);
            const std::size_t stops = passReport.stops.size();
            if (readLogFile(names[i], mode)) {
                if (passReport.stops.size() > stops)
                    passReport.stops.back().unread = unreadFrom(names, i, host.periodFirst(), host.periodLast());
                return true;
            }
        }
    }
    if (!inPeriod) {
        QString folder = logFolder;
        if (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
            folder.chop(1);
        passReport.empty.push_back({mode, folder, host.periodFirst(), host.periodLast(), !names.isEmpty(),
                                    QFileInfo(logFolder).isDir()});
    }
    return false;
}

namespace {

void setPassControlsEnabled(Host &host, bool on)
{
    host.setSearchEnabled(on);
    host.setShipListEnabled(on);
    host.setFileListEnabled(on);
}

} // namespace

void searchCommand()
{
    Host &host = *Module1::host();
    setPassControlsEnabled(host, false);
    host.clearShips();
    host.clearFiles();
    host.setOpenEnabled(false);
    search.shipCount = 0;
    periodPass(QStringLiteral("Search"));
    setPassControlsEnabled(host, true);
    if (host.shipItemCount() > 0 && host.selectedShipIndex() < 0)
        host.selectShip(0);
}

void shipSelection()
{
    Host &host = *Module1::host();
    const int selected = host.selectedShipIndex();
    if (selected < 0)
        return;
    const QString mmsi = leftChars(host.shipItem(selected), 9);
    search.selectedMmsi = toStd(mmsi);
    host.showPicture(mmsi);
    setPassControlsEnabled(host, false);
    host.clearFiles();
    host.setOpenEnabled(false);
    search.shipCount = 0;
    periodPass(QStringLiteral("List1"));
    setPassControlsEnabled(host, true);
    if (host.selectedFileIndex() >= 0)
        host.setOpenEnabled(true);
}

namespace {

void exportKml(Host &host, const QString &shipName, const QString &fileItem)
{
    if (kmlFilePath.isEmpty())
        return;
    const QByteArray document = kmlDocument(shipName, fileItem);
    QString error;
    if (!Platform::writeFileAtomically(kmlFilePath, document, &error)) {
        host.showError(QStringLiteral("%1\n%2").arg(QFileInfo(kmlFilePath).absoluteFilePath(), error));
        return;
    }
    // The file just written, by its absolute path: a viewer started elsewhere
    // must not open a stale file of the same name.
    host.openWithShell(QFileInfo(kmlFilePath).absoluteFilePath());
}

} // namespace

void openView()
{
    Host &host = *Module1::host();
    const int shipIndex = host.selectedShipIndex();
    const int fileIndex = host.selectedFileIndex();
    if (shipIndex < 0 || fileIndex < 0)
        return;
    const QString shipItem = host.shipItem(shipIndex);
    const QString fileItem = host.fileItem(fileIndex);
    const QString shipName = charsFrom(shipItem, 10);
    const QString caption = shipItem + QStringLiteral(" - ") + fileItem;

    const ViewChoice choice = host.viewChoice();
    switch (choice) {
    case ViewChoice::Chart:
        view.viewMode = "Hour";
        host.prepareViewWindow(choice, QStringLiteral("Drawing... ") + caption);
        host.setMainWindowEnabled(false);
        for (const ChartPrimitive &p : Chart::frame())
            host.draw(p);
        break;
    case ViewChoice::Changes:
        view.viewMode = "Dest";
        view.lastVoyage.clear();
        view.lastNavStatus.clear();
        view.lastText.clear();
        host.prepareViewWindow(choice, QStringLiteral("Drawing... ") + caption);
        host.setMainWindowEnabled(false);
        break;
    case ViewChoice::Kml:
        view.viewMode = "KML";
        view.maxSpeed = 0;
        break;
    case ViewChoice::None:
        break;
    }

    host.setSearchEnabled(false);
    host.setShipListEnabled(false);
    host.setFileListEnabled(false);
    // A second Open inside the read would re-enter the reader, whose record is shared.
    host.setOpenEnabled(false);
    search.viewMmsi = toStd(leftChars(shipItem, 9));
    // All 25 counters: a count left in hour 24 by an earlier view would be wrong.
    view.hourCount.fill(0);
    for (const ChartPrimitive &p : Chart::hourLabels())
        host.draw(p);
    search.shipCount = 0;
    view.kmlCoordinates.clear();
    view.kmlLastPosition.clear();

    readLogFile(fileItem, QStringLiteral("List2"));

    host.setSearchEnabled(true);
    host.setShipListEnabled(true);
    host.setFileListEnabled(true);
    host.setOpenEnabled(true);

    if (view.viewMode == "Hour" || view.viewMode == "Dest")
        host.setViewCaption(caption);
    else if (view.viewMode == "KML")
        exportKml(host, shipName, fileItem);
}

} // namespace Module1

#include "passages_window/passagemodel.h"

#include "engine/passageformat.h"

namespace {

using Module1::Passage;

enum Column {
    Area, Mmsi, Name, Entry, Exit, Duration, Fixes, SpeedMin, SpeedMedian, SpeedMax, EntrySide, ExitSide, Bearing,
    EntryLatitude, EntryLongitude, ExitLatitude, ExitLongitude, Stopped
};

// A missing value sorts first, as an empty text would.
template <class T>
int compare(const std::optional<T> &a, const std::optional<T> &b)
{
    if (!a || !b)
        return int(bool(a)) - int(bool(b));
    return *a < *b ? -1 : *b < *a ? 1 : 0;
}

template <class T>
int compare(const T &a, const T &b)
{
    return a < b ? -1 : b < a ? 1 : 0;
}

std::optional<std::pair<qint64, int>> timeOf(const QDate &date, int seconds)
{
    if (seconds < 0)
        return std::nullopt;
    return std::pair<qint64, int>(date.toJulianDay(), seconds);
}

int compareBy(const Passage &a, const Passage &b, int column)
{
    switch (column) {
    case Area: return compare(a.area, b.area);
    case Mmsi: return compare(a.mmsi, b.mmsi);
    case Name: return compare(a.name, b.name);
    case Entry: return compare(timeOf(a.entryDate, a.entrySeconds), timeOf(b.entryDate, b.entrySeconds));
    case Exit: return compare(timeOf(a.exitDate, a.exitSeconds), timeOf(b.exitDate, b.exitSeconds));
    case Duration: return compare(a.duration(), b.duration());
    case Fixes: return compare(a.fixes, b.fixes);
    case SpeedMin: return compare(a.speedMin, b.speedMin);
    case SpeedMedian: return compare(a.speedMedian, b.speedMedian);
    case SpeedMax: return compare(a.speedMax, b.speedMax);
    case EntrySide: return compare(a.entrySide, b.entrySide);
    case ExitSide: return compare(a.exitSide, b.exitSide);
    case Bearing: return compare(a.bearing, b.bearing);
    case EntryLatitude: return compare(a.entry.latitude, b.entry.latitude);
    case EntryLongitude: return compare(a.entry.longitude, b.entry.longitude);
    case ExitLatitude: return compare(a.exit.latitude, b.exit.latitude);
    case ExitLongitude: return compare(a.exit.longitude, b.exit.longitude);
    case Stopped: return compare(a.stopped, b.stopped);
    default: return 0;
    }
}

} // namespace

void PassageModel::setPassages(std::vector<Passage> passages, std::optional<int> utcOffsetMinutes)
{
    beginResetModel();
    m_passages = std::move(passages);
    m_utcOffset = utcOffsetMinutes;
    m_fields = Module1::passageFields();
    endResetModel();
}

int PassageModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_passages.size());
}

int PassageModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(Module1::passageFields().size());
}

QVariant PassageModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::DisplayRole)
        return Module1::passageValues(passage(index.row()), m_utcOffset).value(index.column());
    if (role == Qt::TextAlignmentRole && index.column() >= Duration && index.column() != EntrySide &&
        index.column() != ExitSide && index.column() != Stopped)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant PassageModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    return Module1::passageFields().value(section);
}

bool PassageModel::lessThan(int a, int b, int column) const
{
    const int c = compareBy(passage(a), passage(b), column);
    // Equal values keep the order of entry.
    return c != 0 ? c < 0 : a < b;
}

void PassageProxy::setArea(int area)
{
    m_area = area;
    invalidateFilter();
}

const PassageModel *PassageProxy::passageModel() const
{
    return static_cast<const PassageModel *>(sourceModel());
}

bool PassageProxy::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    return passageModel()->lessThan(left.row(), right.row(), left.column());
}

bool PassageProxy::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    return m_area < 0 || passageModel()->passage(sourceRow).area == m_area;
}

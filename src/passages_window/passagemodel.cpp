#include "passages_window/passagemodel.h"

#include "engine/passageformat.h"

#include <algorithm>
#include <limits>
#include <string_view>

namespace {

using Module1::Passage;

enum Column {
    Area, Mmsi, Name, Entry, Exit, Duration, Fixes, SpeedMin, SpeedMedian, SpeedMax, EntrySide, ExitSide, Bearing,
    EntryLatitude, EntryLongitude, ExitLatitude, ExitLongitude, Stopped
};

// A missing value sorts first, as an empty text would.
constexpr double kMissing = -std::numeric_limits<double>::infinity();

double numberKey(const std::optional<double> &v)
{
    return v ? *v : kMissing;
}

double timeKey(const QDate &date, int seconds)
{
    return seconds < 0 || !date.isValid() ? kMissing : double(date.toJulianDay()) * 86400 + seconds;
}

// The value a column sorts by, as a number; the texts (MMSI, name) sort by
// their own key.
double numberKey(const Passage &p, int column)
{
    switch (column) {
    case Area: return p.area;
    case Entry: return timeKey(p.entryDate, p.entrySeconds);
    case Exit: return timeKey(p.exitDate, p.exitSeconds);
    case Duration: {
        const std::optional<long long> d = p.duration();
        return d ? double(*d) : kMissing;
    }
    case Fixes: return p.fixes;
    case SpeedMin: return numberKey(p.speedMin);
    case SpeedMedian: return numberKey(p.speedMedian);
    case SpeedMax: return numberKey(p.speedMax);
    case EntrySide: return p.entrySide;
    case ExitSide: return p.exitSide;
    case Bearing: return numberKey(p.bearing);
    case EntryLatitude: return p.entry.latitude;
    case EntryLongitude: return p.entry.longitude;
    case ExitLatitude: return p.exit.latitude;
    case ExitLongitude: return p.exit.longitude;
    case Stopped: return p.stopped;
    default: return 0;
    }
}

// The columns of passageFields(), counted once: the views ask for the count
// with every index they make.
const int kColumns = int(Module1::passageFields().size());

} // namespace

void PassageModel::setPassages(std::vector<Passage> passages, std::optional<int> utcOffsetMinutes)
{
    beginResetModel();
    m_passages = std::move(passages);
    m_utcOffset = utcOffsetMinutes;
    m_keyColumn = -1;
    endResetModel();
}

int PassageModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_passages.size());
}

int PassageModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumns;
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
    static const QStringList fields = Module1::passageFields();
    return fields.value(section);
}

bool PassageModel::lessThan(int a, int b, int column) const
{
    // A sort compares each row some twenty times: the column's values are
    // gathered once, side by side, rather than read from the scattered rows.
    if (m_keyColumn != column) {
        m_keyColumn = column;
        m_keys.resize(m_passages.size());
        if (column == Mmsi || column == Name) {
            // Texts become their rank, so that every comparison is of two numbers.
            std::vector<std::pair<std::string_view, std::size_t>> texts;
            texts.reserve(m_passages.size());
            for (std::size_t i = 0; i < m_passages.size(); ++i)
                texts.emplace_back(column == Mmsi ? m_passages[i].mmsi : m_passages[i].name, i);
            std::sort(texts.begin(), texts.end());
            double rank = 0;
            for (std::size_t i = 0; i < texts.size(); ++i) {
                if (i > 0 && texts[i].first != texts[i - 1].first)
                    ++rank;
                m_keys[texts[i].second] = rank;
            }
        } else {
            for (std::size_t i = 0; i < m_passages.size(); ++i)
                m_keys[i] = numberKey(m_passages[i], column);
        }
    }
    const double ka = m_keys[std::size_t(a)], kb = m_keys[std::size_t(b)];
    if (ka != kb)
        return ka < kb;
    // Equal values keep the order of entry.
    return a < b;
}

void PassageProxy::setArea(int area)
{
    m_area = area;
    // As one change of layout: removing two thirds of 100,000 rows one range
    // at a time would cost the views seconds.
    invalidate();
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

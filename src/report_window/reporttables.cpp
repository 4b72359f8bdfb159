#include "report_window/reporttables.h"

#include "engine/module1.h"
#include "engine/text.h"

namespace ReportView {

using Module1::SilentStretch;

namespace {

QString lengthText(qint64 s)
{
    return QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString kindText(const SilentStretch &s)
{
    QString text;
    switch (s.kind) {
    case SilentStretch::Kind::NothingHeard: text = QStringLiteral("nothing heard"); break;
    case SilentStretch::Kind::FixedOnly: text = QStringLiteral("no ships, fixed stations heard"); break;
    case SilentStretch::Kind::NoLog: return QStringLiteral("no day log");
    case SilentStretch::Kind::NotRead: return QStringLiteral("day log not read");
    }
    if (s.fromPeriodStart)
        text += QStringLiteral(" (may have begun earlier)");
    if (s.toPeriodEnd)
        text += QStringLiteral(" (to the period's end)");
    return text;
}

} // namespace

void SilenceModel::setReport(const Module1::StationReport &report)
{
    beginResetModel();
    m_rows = report.silences;
    endResetModel();
}

int SilenceModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int SilenceModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 4;
}

QVariant SilenceModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::UserRole))
        return {};
    const SilentStretch &s = m_rows[std::size_t(index.row())];
    switch (index.column()) {
    case 0: return role == Qt::UserRole ? QVariant(s.start) : s.start.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case 1: return role == Qt::UserRole ? QVariant(s.end) : s.end.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case 2: return role == Qt::UserRole ? QVariant(s.seconds()) : QVariant(lengthText(s.seconds()));
    default: return kindText(s);
    }
}

QVariant SilenceModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char *const names[] = {"Start", "End", "Length", "What"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 3)
        return {};
    return QString::fromLatin1(names[section]);
}

void RangeModel::setReports(const Module1::StationReport &report, const Module1::StationReport *compare)
{
    beginResetModel();
    m_rows.clear();
    m_compare = compare && compare->hasRange;
    if (report.hasRange) {
        for (int k = 0; k < Module1::kSectors; ++k) {
            Row row{k, report.sectors[std::size_t(k)], m_compare ? compare->sectors[std::size_t(k)] : Module1::SectorRange{}};
            m_rows.push_back(row);
        }
    }
    endResetModel();
}

int RangeModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int RangeModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_compare ? 11 : 7;
}

QVariant RangeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::UserRole))
        return {};
    const Row &r = m_rows[std::size_t(index.row())];
    const bool any = r.a.positions > 0;
    const auto number = [&](double v) { return role == Qt::UserRole ? QVariant(v) : QVariant(QString::number(v, 'f', 1)); };
    switch (index.column()) {
    case 0: return role == Qt::UserRole ? QVariant(r.sector) : QVariant(QStringLiteral("%1-%2").arg(r.sector * 5, 3, 10, QLatin1Char('0')).arg(r.sector * 5 + 5, 3, 10, QLatin1Char('0')));
    case 1: return role == Qt::UserRole ? QVariant(r.a.positions) : QVariant(QString::number(r.a.positions));
    case 2: return number(r.a.maxNm);
    case 3: return number(r.a.maxNm * Module1::kKmPerNauticalMile);
    case 4: return number(r.a.p95Nm);
    case 5: return any ? Module1::toQString(r.a.mmsi) : QString();
    case 6: return any ? r.a.date.toString(Qt::ISODate) + QLatin1Char(' ') + QTime(0, 0).addSecs(r.a.second).toString(QStringLiteral("HH:mm:ss")) : QString();
    case 7: return number(r.b.maxNm);
    case 8: return number(r.b.maxNm - r.a.maxNm);
    case 9: return number(r.b.p95Nm);
    default: return number(r.b.p95Nm - r.a.p95Nm);
    }
}

QVariant RangeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char *const names[] = {"Sector", "Positions", "Max nm", "Max km", "P95 nm", "Farthest MMSI", "Heard",
                                        "Compare max nm", "Max difference", "Compare p95 nm", "P95 difference"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount())
        return {};
    return QString::fromLatin1(names[section]);
}

QString RangeModel::mmsi(int row) const
{
    if (row < 0 || row >= int(m_rows.size()) || !m_rows[std::size_t(row)].a.positions)
        return {};
    return Module1::toQString(m_rows[std::size_t(row)].a.mmsi);
}

QString RangeModel::fileName(int row) const
{
    if (mmsi(row).isEmpty())
        return {};
    return m_rows[std::size_t(row)].a.date.toString(QStringLiteral("yyyyMMdd")) + Module1::kLogSuffix;
}

} // namespace ReportView

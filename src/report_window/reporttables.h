#pragma once

#include "engine/report.h"

#include <QAbstractTableModel>

namespace ReportView {

// The silent periods of a report, one a row.
class SilenceModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setReport(const Module1::StationReport &report);
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<Module1::SilentStretch> m_rows;
};

// The range per sector: positions, farthest and 95th percentile, and with a
// second period its figures beside them. Sorting (DisplayRole) goes by the
// numbers, through Qt::UserRole.
class RangeModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setReports(const Module1::StationReport &report, const Module1::StationReport *compare);
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // The farthest position's ship and day log of a row's sector, empty when it has none.
    QString mmsi(int row) const;
    QString fileName(int row) const;

private:
    struct Row
    {
        int sector = 0;
        Module1::SectorRange a, b;
    };
    std::vector<Row> m_rows;
    bool m_compare = false;
};

} // namespace ReportView

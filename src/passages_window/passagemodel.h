#pragma once

#include "engine/passages.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

#include <optional>
#include <vector>

// The passages as a table: one row a passage, the columns of the CSV. Texts
// are made for the rows on screen only, so a table of 100,000 passages costs
// their plain data and nothing more.
class PassageModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setPassages(std::vector<Module1::Passage> passages, std::optional<int> utcOffsetMinutes = std::nullopt);
    const std::vector<Module1::Passage> &passages() const { return m_passages; }
    const Module1::Passage &passage(int row) const { return m_passages[std::size_t(row)]; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Whether row `a` comes before row `b` by `column`: numbers as numbers,
    // times by date and second, a missing value first.
    bool lessThan(int a, int b, int column) const;

private:
    std::vector<Module1::Passage> m_passages;
    std::optional<int> m_utcOffset;
    // The sort keys of one column, made by the first comparison of a sort.
    mutable int m_keyColumn = -1;
    mutable std::vector<double> m_keys;
};

// Sorting by any column and the area filter, over a PassageModel.
class PassageProxy : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    // -1 for every area, else 0, 1, 2 for A, B, C.
    void setArea(int area);
    int area() const { return m_area; }

protected:
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    const PassageModel *passageModel() const;
    int m_area = -1;
};

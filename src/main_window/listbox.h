#pragma once

#include <QListWidget>

// A list of the main window: one item selected at a time, and once an item is
// selected the list is never left without one (Ctrl+click and Ctrl+Space would
// deselect it in a plain single-selection list, leaving Open nothing to open).
// Its click is a press of the left button on an item, the selected one
// included.
class ListBox : public QListWidget
{
    Q_OBJECT
public:
    explicit ListBox(QWidget *parent = nullptr);

signals:
    // A click on the item that is already selected. A click that changes the
    // selection reports itself through itemSelectionChanged only, so one click
    // never runs its command twice.
    void selectedItemClicked();

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    int m_selectionChanges = 0;
};

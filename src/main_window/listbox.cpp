#include "main_window/listbox.h"

#include <QMouseEvent>

ListBox::ListBox(QWidget *parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemSelectionChanged, this, [this] { ++m_selectionChanges; });
}

QItemSelectionModel::SelectionFlags ListBox::selectionCommand(const QModelIndex &index, const QEvent *event) const
{
    const QItemSelectionModel::SelectionFlags flags = QListWidget::selectionCommand(index, event);
    if (flags & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
        return QItemSelectionModel::NoUpdate;
    // A press beside the items would clear the selection.
    if (!index.isValid() && (flags & QItemSelectionModel::Clear) && !selectedItems().isEmpty())
        return QItemSelectionModel::NoUpdate;
    return flags;
}

void ListBox::mousePressEvent(QMouseEvent *event)
{
    // A selection change runs its command inside the base handler, a whole
    // pass with event-loop turns; only a press that changed nothing is a
    // click on the selected item.
    const int before = m_selectionChanges;
    QListWidgetItem *const pressed = itemAt(event->position().toPoint());
    QListWidget::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && pressed && m_selectionChanges == before && pressed->isSelected())
        emit selectedItemClicked();
}

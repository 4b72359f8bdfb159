#include "main_window/windowhost.h"

#include "engine/module1.h"
#include "engine/numbers.h"
#include "main_window/form1.h"
#include "main_window/listbox.h"
#include "platform/desktop.h"
#include "view_window/form2.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include <cstdio>

namespace {

QString itemText(const QListWidget *list, int index)
{
    const QListWidgetItem *item = list->item(index);
    return item ? item->text() : QString();
}

} // namespace

WindowHost::WindowHost(Form1 &form)
    : m_form(form), m_shellOpen(&Platform::shellOpen)
{
}

QString WindowHost::periodFirst()
{
    return m_form.Text1[7]->text();
}

QString WindowHost::periodLast()
{
    return m_form.Text1[8]->text();
}

Module1::Criteria WindowHost::criteria()
{
    static constexpr int fields[3][3] = {{4, 5, 6}, {9, 10, 11}, {12, 13, 14}};
    Module1::Criteria c;
    c.mmsi = m_form.Text1[0]->text().toStdString();
    for (int k = 0; k < 3; ++k) {
        c.areaOn[k] = m_form.Check1[k]->isChecked();
        c.latitude[k] = Module1::leadingNumber(m_form.Text1[fields[k][0]]->text());
        c.longitude[k] = Module1::leadingNumber(m_form.Text1[fields[k][1]]->text());
        c.range[k] = Module1::leadingNumber(m_form.Text1[fields[k][2]]->text());
    }
    return c;
}

int WindowHost::altitudeRule()
{
    return m_form.Combo1->currentIndex();
}

Module1::ViewChoice WindowHost::viewChoice()
{
    if (m_form.Option1[0]->isChecked())
        return Module1::ViewChoice::Chart;
    if (m_form.Option1[2]->isChecked())
        return Module1::ViewChoice::Changes;
    if (m_form.Option1[3]->isChecked())
        return Module1::ViewChoice::Kml;
    return Module1::ViewChoice::None;
}

void WindowHost::setStatus(const QString &caption)
{
    m_form.Label2->setText(caption);
}

void WindowHost::setSearchEnabled(bool on)
{
    m_form.Command1->setEnabled(on);
}

void WindowHost::setShipListEnabled(bool on)
{
    m_form.List1->setEnabled(on);
}

void WindowHost::setFileListEnabled(bool on)
{
    m_form.List2->setEnabled(on);
}

void WindowHost::setOpenEnabled(bool on)
{
    m_form.Command2->setEnabled(on);
}

void WindowHost::setMainWindowEnabled(bool on)
{
    m_form.setEnabled(on);
}

void WindowHost::clearShips()
{
    m_form.List1->clear();
}

void WindowHost::appendShip(const QString &item)
{
    m_form.List1->addItem(item);
}

void WindowHost::replaceShip(int index, const QString &item)
{
    if (QListWidgetItem *entry = m_form.List1->item(index))
        entry->setText(item);
}

int WindowHost::shipItemCount()
{
    return m_form.List1->count();
}

QString WindowHost::shipItem(int index)
{
    return itemText(m_form.List1, index);
}

int WindowHost::selectedShipIndex()
{
    return selectedRow(m_form.List1);
}

void WindowHost::selectShip(int index)
{
    // Selecting emits List1's selection signal, whose handler runs the ship
    // selection before this returns.
    m_form.List1->setCurrentRow(index);
}

void WindowHost::clearFiles()
{
    m_form.List2->clear();
}

void WindowHost::appendFile(const QString &name)
{
    m_form.List2->addItem(name);
}

int WindowHost::fileItemCount()
{
    return m_form.List2->count();
}

QString WindowHost::fileItem(int index)
{
    return itemText(m_form.List2, index);
}

int WindowHost::selectedFileIndex()
{
    return selectedRow(m_form.List2);
}

void WindowHost::selectFile(int index)
{
    m_form.List2->setCurrentRow(index);
}

void WindowHost::showPicture(const QString &mmsi)
{
    m_form.setPic(mmsi);
}

void WindowHost::showLimitMessage()
{
    Platform::messageBox(&m_form, Module1::kProgramTitle, Module1::kLimitMessage);
}

bool WindowHost::processEvents()
{
    Platform::processPendingEvents();
    return m_stopRequested || m_ending;
}

void WindowHost::prepareViewWindow(Module1::ViewChoice choice, const QString &caption)
{
    m_form.viewWindow()->prepare(choice, caption);
}

void WindowHost::setViewCaption(const QString &caption)
{
    m_form.viewWindow()->setCaption(caption);
}

void WindowHost::draw(const Module1::ChartPrimitive &primitive)
{
    m_form.viewWindow()->draw(primitive);
}

void WindowHost::appendChangeLine(const QString &lineWithCrLf)
{
    m_form.viewWindow()->appendChangeLine(lineWithCrLf);
}

void WindowHost::openWithShell(const QString &absolutePath)
{
    // The hand-off is always made; only a desktop that says it could not open
    // the file (no program for KML) gets the map instead.
    if (!m_shellOpen(absolutePath) && m_shellFailed)
        m_shellFailed();
}

void WindowHost::showError(const QString &message)
{
    Platform::messageBox(&m_form, Module1::kProgramTitle, message);
}

void WindowHost::reportSkippedFile(const QString &path, const QString &reason)
{
    // Standard error in the words of velkais-log; the window's notice line
    // tells the user once the pass has ended.
    std::fprintf(stderr, "%s\n", qPrintable(Module1::skippedFileText(path, reason)));
    std::fflush(stderr);
}

int WindowHost::selectedRow(const QListWidget *list)
{
    // The selected item, not the current one: in a single-selection list the
    // user can deselect with Ctrl+click and leave a current row behind.
    const QList<QListWidgetItem *> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

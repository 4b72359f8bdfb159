#include "main_window/maplink.h"

#include "engine/export.h"
#include "engine/numbers.h"
#include "engine/plainhost.h"
#include "main_window/form1.h"
#include "main_window/listbox.h"
#include "main_window/windowhost.h"
#include "map_window/mapwindow.h"
#include "platform/desktop.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QTimer>

namespace {

// Latitude, longitude and range fields of areas A, B, C.
constexpr int kAreaFields[3][3] = {{4, 5, 6}, {9, 10, 11}, {12, 13, 14}};

} // namespace

MapLink::MapLink(Form1 &form)
    : QObject(&form), m_form(form)
{
    auto *shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_M), &form);
    connect(shortcut, &QShortcut::activated, this, &MapLink::showSelectedDay);
    form.List2->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(form.List2, &QWidget::customContextMenuRequested, this, &MapLink::fileMenu);
    for (int k = 0; k < 3; ++k) {
        connect(form.Check1[k], &QCheckBox::toggled, this, &MapLink::pushAreas);
        for (const int field : kAreaFields[k])
            connect(form.Text1[field], &QLineEdit::textChanged, this, &MapLink::pushAreas);
    }
}

MapLink::~MapLink()
{
    delete m_window.data();
}

Map::MapWindow *MapLink::window() const
{
    return m_window;
}

Map::MapWindow *MapLink::openWindow()
{
    if (!m_window) {
        m_window = new Map::MapWindow();
        m_window->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_window, &Map::MapWindow::areaDrawn, this, &MapLink::typeArea);
        pushAreas();
        emit windowOpened(m_window);
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    return m_window;
}

void MapLink::showSelectedDay()
{
    const int ship = WindowHost::selectedRow(m_form.List1);
    const int file = WindowHost::selectedRow(m_form.List2);
    if (ship < 0 || file < 0) {
        openWindow();
        return;
    }
    showDay(m_form.List1->item(ship)->text(), m_form.List2->item(file)->text());
}

void MapLink::showDay(const QString &shipItem, const QString &fileItem)
{
    if (m_form.passRunning())
        return;
    const QString mmsi = shipItem.left(9);
    const QString name = shipItem.mid(10);
    // The KML view's points are every report of the ship in the file, whatever
    // the MMSI field and the areas say; the export pass applies those, so it
    // runs under a host whose criteria are empty.
    Module1::Host *const previous = Module1::host();
    Module1::PlainHost plain;
    Module1::setHost(&plain);
    const Module1::Track day = Module1::readTrack(fileItem, mmsi, name);
    Module1::setHost(previous);

    Map::MapWindow *window = openWindow();
    if (day.points.empty()) {
        Platform::messageBox(window, window->windowTitle(),
                             QStringLiteral("%1 has no positions of %2.").arg(fileItem, shipItem.trimmed()));
        return;
    }
    window->addTrack(Map::fromDayTrack(day));
}

void MapLink::shellOpenFailed()
{
    const int ship = WindowHost::selectedRow(m_form.List1);
    const int file = WindowHost::selectedRow(m_form.List2);
    if (ship < 0 || file < 0)
        return;
    // The hand-off is made at the end of the view's pass; the map reads the
    // day again once that pass has returned.
    const QString shipItem = m_form.List1->item(ship)->text();
    const QString fileItem = m_form.List2->item(file)->text();
    QTimer::singleShot(0, this, [this, shipItem, fileItem] { showDay(shipItem, fileItem); });
}

void MapLink::pushAreas()
{
    if (!m_window)
        return;
    std::array<Map::AreaSquare, 3> areas;
    for (int k = 0; k < 3; ++k) {
        // The leading-number rule, as the Search reads the same fields.
        areas[std::size_t(k)] = {m_form.Check1[k]->isChecked(),
                                 Module1::leadingNumber(m_form.Text1[kAreaFields[k][0]]->text()),
                                 Module1::leadingNumber(m_form.Text1[kAreaFields[k][1]]->text()),
                                 Module1::leadingNumber(m_form.Text1[kAreaFields[k][2]]->text())};
    }
    m_window->setAreas(areas);
}

void MapLink::typeArea(int area, const QString &latitude, const QString &longitude, const QString &range)
{
    const QString texts[3] = {latitude, longitude, range};
    for (int i = 0; i < 3; ++i)
        m_form.Text1[kAreaFields[area][i]]->setText(texts[i]);
    m_form.Check1[area]->setChecked(true);
}

void MapLink::fileMenu(const QPoint &at)
{
    if (WindowHost::selectedRow(m_form.List2) < 0 || !m_form.List2->isEnabled())
        return;
    QMenu menu(m_form.List2);
    QAction *show = menu.addAction(QStringLiteral("Show on map"));
    show->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    if (menu.exec(m_form.List2->viewport()->mapToGlobal(at)) == show)
        showSelectedDay();
}

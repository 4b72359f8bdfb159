#include "main_window/passageslink.h"

#include "engine/module1.h"
#include "engine/passages.h"
#include "engine/text.h"
#include "main_window/form1.h"
#include "main_window/maplink.h"
#include "map_window/mapwindow.h"
#include "passages_window/passageswindow.h"
#include "platform/desktop.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

PassagesLink::PassagesLink(Form1 &form) : QObject(&form), m_form(form) {}

PassagesLink::~PassagesLink()
{
    delete m_window.data();
}

void PassagesLink::open()
{
    if (m_form.passRunning())
        return;
    Module1::Host &host = *Module1::host();
    const Module1::Criteria criteria = host.criteria();
    m_criteria = criteria;
    if (!m_window) {
        m_window = new PassagesWindow();
        m_window->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_window, &PassagesWindow::passageActivated, this, &PassagesLink::showOnMap);
    }
    const QString first = host.periodFirst(), last = host.periodLast();
    QString caption = QStringLiteral("Passages %1 - %2").arg(first, last);
    if (!criteria.mmsi.empty())
        caption += QStringLiteral(", MMSI ") + Module1::toQString(criteria.mmsi);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    if (!criteria.areaOn[0] && !criteria.areaOn[1] && !criteria.areaOn[2]) {
        m_window->setPassages({}, false, caption,
                              QStringLiteral("No area is switched on: check A, B or C in the main window."));
        return;
    }
    m_window->setReading(caption);

    // The lists and commands wait while the reader is busy, as during a Search.
    const bool openEnabled = m_form.Command2->isEnabled();
    for (QWidget *w : {static_cast<QWidget *>(m_form.Command1), static_cast<QWidget *>(m_form.Command2),
                       static_cast<QWidget *>(m_form.List1), static_cast<QWidget *>(m_form.List2)})
        w->setEnabled(false);
    std::vector<Module1::Passage> passages;
    m_form.runPass([&] { passages = Module1::passagesPeriod(Module1::PassageOptions{30, true}); });
    m_form.Command1->setEnabled(true);
    m_form.List1->setEnabled(true);
    m_form.List2->setEnabled(true);
    m_form.Command2->setEnabled(openEnabled);
    if (!m_window)
        return; // closed while reading
    // A period of one day gets a chart per hour.
    const bool oneDay = first.size() == 8 && first == last;
    m_window->setPassages(std::move(passages), oneDay, caption, Module1::passNotice(Module1::passReport));
}

void PassagesLink::showOnMap(const Module1::Passage &p)
{
    if (m_form.passRunning())
        return;
    const QString ship = Module1::toQString(p.mmsi) + QLatin1Char(' ') + Module1::toQString(p.name);
    QStringList days{p.entryFile};
    if (p.exitFile != p.entryFile)
        days << p.exitFile;
    for (const QString &day : days)
        m_form.mapLink()->showDay(ship, day);
    Map::MapWindow *map = m_form.mapLink()->window();
    if (!map)
        return;
    Map::Highlight &h = map->scene().highlight;
    h.points.clear();
    for (const Module1::PassagePoint &point : p.points)
        h.points.push_back({point.latitude, point.longitude});
    // The square as the pass read it, whatever the fields say now.
    const Module1::Criteria &c = m_criteria;
    const double lat = c.latitude[p.area], lon = c.longitude[p.area], r = c.range[p.area];
    h.hasSquare = true;
    h.square = {lat - r, lon - r, lat + r, lon + r};
    h.area = p.area;
    map->canvas()->update();
}

PassagesWindow *PassagesLink::window() const
{
    return m_window;
}

#include "main_window/reportlink.h"

#include "main_window/form1.h"
#include "main_window/maplink.h"
#include "map_window/mapwindow.h"
#include "report_window/reportwindow.h"

#include <QLineEdit>
#include <QEvent>
#include <QShortcut>
#include <QTimer>

ReportLink::ReportLink(Form1 &form) : QObject(&form), m_form(form)
{
    auto *shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_R), &form);
    connect(shortcut, &QShortcut::activated, this, [this] { open(); });
    form.installEventFilter(this);
    connect(form.mapLink(), &MapLink::windowOpened, this, [this](Map::MapWindow *map) {
        connect(map, &Map::MapWindow::stationPicked, this,
                [this](double latitude, double longitude) { open()->setStation(latitude, longitude); });
        pushRange(false);
    });
}

ReportLink::~ReportLink()
{
    delete m_window.data();
}

ReportView::ReportWindow *ReportLink::window() const
{
    return m_window;
}

ReportView::ReportWindow *ReportLink::open()
{
    if (!m_window) {
        m_window = new ReportView::ReportWindow();
        m_window->setAttribute(Qt::WA_DeleteOnClose);
        m_window->setPeriodSource([this] { return std::pair(m_form.Text1[7]->text(), m_form.Text1[8]->text()); });
        m_window->setEngineFree([this] { return !m_form.passRunning(); });
        // One reader for the whole program: no Search while the report reads.
        connect(m_window, &ReportView::ReportWindow::passRunning, this, [this](bool running) { m_form.setEnabled(!running); });
        connect(m_window, &ReportView::ReportWindow::showShipDay, this, [this](const QString &mmsi, const QString &file) {
            m_form.mapLink()->showDay(mmsi + QLatin1Char(' '), file);
            pushRange(false);
        });
        connect(m_window, &ReportView::ReportWindow::showRangeOnMap, this, [this] { pushRange(true); });
        connect(m_window, &ReportView::ReportWindow::reportChanged, this, [this] { pushRange(false); });
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    return m_window;
}

void ReportLink::pushRange(bool open)
{
    Map::MapWindow *map = open ? m_form.mapLink()->showMap() : m_form.mapLink()->window();
    if (!map)
        return;
    Map::RangeLayer layer;
    const ReportView::ReportWindow *w = m_window;
    const Module1::StationReport *report = w ? w->report() : nullptr;
    if (report && report->hasRange) {
        layer.station = Map::LatLon{report->options.station->latitude, report->options.station->longitude};
        const auto outline = [&](const Module1::StationReport &r, bool p95, const QColor &colour, const QString &what) {
            Map::RangeOutline o;
            o.label = QStringLiteral("%1 %2 to %3").arg(what, r.first.toString(Qt::ISODate), r.last.toString(Qt::ISODate));
            o.colour = colour;
            o.dashed = p95;
            for (const Module1::GeoPoint &p : Module1::rangeOutline(r, p95))
                o.ring.push_back({p.latitude, p.longitude});
            layer.outlines.push_back(std::move(o));
        };
        outline(*report, false, QColor(0xc0, 0x10, 0x10), QStringLiteral("range, maximum"));
        outline(*report, true, QColor(0xc0, 0x10, 0x10), QStringLiteral("range, 95 %"));
        if (const Module1::StationReport *other = w->compared(); other && other->hasRange) {
            outline(*other, false, QColor(0x10, 0x40, 0xc0), QStringLiteral("compared, maximum"));
            outline(*other, true, QColor(0x10, 0x40, 0xc0), QStringLiteral("compared, 95 %"));
        }
    }
    map->setRange(std::move(layer));
    if (open)
        map->canvas()->fitAll();
}

bool ReportLink::eventFilter(QObject *watched, QEvent *event)
{
    // Closing the main window deletes the report window, whose pass may be
    // running: the pass is stopped first, and the main window closes after it.
    if (watched == &m_form && event->type() == QEvent::Close && m_window && m_window->isRunning()) {
        m_window->requestStop();
        connect(m_window, &ReportView::ReportWindow::passRunning, &m_form, [this](bool running) {
            if (!running)
                QTimer::singleShot(0, &m_form, &QWidget::close);
        }, Qt::SingleShotConnection);
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void openReportWindow(Form1 &form)
{
    form.reportLink()->open();
}

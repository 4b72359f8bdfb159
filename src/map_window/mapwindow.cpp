#include "map_window/mapwindow.h"

#include "map_window/coastline.h"
#include "map_window/trackfile.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QToolBar>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <cmath>

namespace Map {

namespace {

constexpr double kWheelStep = 1.0015;   // per eighth of a degree of wheel turn
constexpr double kKeyZoom = 1.5;
constexpr double kDragThreshold = 4;

const QString kAboutText = QStringLiteral(
    "<p><b>Map</b> of the Log Browser for VELK-AIS.</p>"
    "<p>Coastline: GSHHG, A Global Self-consistent, Hierarchical, High-resolution Geography Database, "
    "by Paul Wessel and Walter H. F. Smith, distributed under the GNU Lesser General Public License, "
    "version 3 or later.</p>"
    "<p>Wheel: zoom at the cursor. Drag: pan. Shift+drag, or the area tool: draw a search area. "
    "Arrows, + and -: move and zoom. Home: fit what is shown. Ctrl+S: save as PNG. Ctrl+C: copy.</p>");

// Decimals that resolve a tenth of a pixel's worth of degrees, 2 to 7.
int decimalsFor(double pixelsPerDegree)
{
    return std::clamp(int(std::ceil(std::log10(std::max(pixelsPerDegree, 1.0)))) + 1, 2, 7);
}

} // namespace

AreaTexts areaTexts(const GeoBox &box, double pixelsPerDegree)
{
    const int decimals = decimalsFor(pixelsPerDegree);
    const double scale = std::pow(10.0, decimals);
    const double latitude = std::round((box.south + box.north) / 2 * scale) / scale;
    const double longitude = std::round((box.west + box.east) / 2 * scale) / scale;
    // The square must still cover the rectangle after the centre was rounded.
    const double half = std::max({box.north - latitude, latitude - box.south, box.east - longitude, longitude - box.west});
    const double range = std::ceil(half * scale - 1e-6) / scale;
    auto text = [decimals](double v) { return QString::number(v == 0 ? 0.0 : v, 'f', decimals); };
    return {text(latitude), text(longitude), text(range)};
}

MapCanvas::MapCanvas(MapScene &scene, QWidget *parent)
    : QWidget(parent), m_scene(scene)
{
    setObjectName(QStringLiteral("mapCanvas"));
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 150);
    m_view.size = QSizeF(size());
}

Viewport &MapCanvas::viewport()
{
    if (m_fitPending)
        fitAll();
    return m_view;
}

void MapCanvas::requestFit()
{
    m_fitPending = true;
    update();
}

void MapCanvas::fitAll()
{
    m_fitPending = false;
    const GeoBox box = sceneBounds(m_scene);
    const double ppd = m_view.pixelsPerDegree;
    const LatLon center = m_view.center;
    m_view = fitScene(m_scene, QSizeF(size()));
    if (box.isEmpty() && m_fitted) {
        // Nothing to fit: stay where the user is.
        m_view.pixelsPerDegree = ppd;
        m_view.center = center;
    }
    m_fitted = true;
    update();
}

void MapCanvas::paintEvent(QPaintEvent *)
{
    if (m_fitPending)
        fitAll();
    QPainter painter(this);
    renderMap(painter, m_view, m_scene);
}

void MapCanvas::resizeEvent(QResizeEvent *)
{
    m_view.size = QSizeF(size());
    // Until the user moves the map it keeps fitting what it shows.
    if (!m_userMoved)
        fitAll();
}

void MapCanvas::wheelEvent(QWheelEvent *event)
{
    viewport(); // a pending fit first: the input acts on the view shown
    m_userMoved = true;
    m_view.zoomAt(event->position(), std::pow(kWheelStep, event->angleDelta().y()));
    update();
    event->accept();
}

void MapCanvas::mousePressEvent(QMouseEvent *event)
{
    viewport(); // a pending fit first: the input acts on the view shown
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_dragFrom = m_last = event->position();
    const bool area = m_areaAllowed && (m_areaTool || event->modifiers() & Qt::ShiftModifier);
    m_drag = area ? Drag::Area : Drag::Pan;
    if (area)
        setCursor(Qt::CrossCursor);
    else
        setCursor(Qt::ClosedHandCursor);
}

void MapCanvas::mouseMoveEvent(QMouseEvent *event)
{
    viewport(); // a pending fit first: the input acts on the view shown
    const QPointF at = event->position();
    if (m_drag == Drag::Pan) {
        m_userMoved = true;
        m_view.panBy(at - m_last);
        m_last = at;
        update();
    } else if (m_drag == Drag::Area) {
        m_scene.selection = QRectF(m_dragFrom, at).normalized();
        update();
    } else {
        hover(at, event->globalPosition().toPoint());
    }
}

void MapCanvas::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || m_drag == Drag::None)
        return QWidget::mouseReleaseEvent(event);
    const Drag drag = m_drag;
    m_drag = Drag::None;
    unsetCursor();
    if (drag == Drag::Area) {
        const QRectF rect = QRectF(m_dragFrom, event->position()).normalized();
        m_scene.selection = QRectF();
        update();
        if (rect.width() >= kDragThreshold || rect.height() >= kDragThreshold)
            finishArea(rect, event->globalPosition().toPoint());
    }
}

void MapCanvas::finishArea(const QRectF &rect, const QPoint &globalPos)
{
    const LatLon a = m_view.toGeo(rect.topLeft());
    const LatLon b = m_view.toGeo(rect.bottomRight());
    const AreaTexts texts = areaTexts({b.lat, a.lon, a.lat, b.lon}, m_view.pixelsPerDegree);
    int area = -1;
    if (m_chooser) {
        area = m_chooser(globalPos);
    } else {
        QMenu menu(this);
        for (int k = 0; k < 3; ++k) {
            menu.addAction(QStringLiteral("Area %1: %2 N, %3 E, +-%4")
                               .arg(QLatin1Char(char('A' + k)))
                               .arg(texts.latitude, texts.longitude, texts.range))
                ->setData(k);
        }
        if (const QAction *chosen = menu.exec(globalPos))
            area = chosen->data().toInt();
    }
    emit areaToolUsed();
    if (area >= 0 && area < 3)
        emit areaDrawn(area, texts.latitude, texts.longitude, texts.range);
}

void MapCanvas::hover(QPointF at, const QPoint &globalPos)
{
    const PointRef found = pointAt(m_scene, m_view, at);
    if (found.track == m_scene.hoverTrack && (found.track < 0 || found.index == m_scene.hoverPoint))
        return;
    m_scene.hoverTrack = found.track;
    m_scene.hoverPoint = found.index;
    if (found.track >= 0)
        QToolTip::showText(globalPos, pointText(*m_scene.tracks[std::size_t(found.track)], found.index), this);
    else
        QToolTip::hideText();
    update();
}

void MapCanvas::leaveEvent(QEvent *)
{
    if (m_scene.hoverTrack >= 0) {
        m_scene.hoverTrack = -1;
        update();
    }
}

void MapCanvas::keyPressEvent(QKeyEvent *event)
{
    viewport(); // a pending fit first: the input acts on the view shown
    const double stepX = width() / 8.0, stepY = height() / 8.0;
    const QPointF middle(width() / 2.0, height() / 2.0);
    switch (event->key()) {
    case Qt::Key_Left: m_view.panBy({stepX, 0}); break;
    case Qt::Key_Right: m_view.panBy({-stepX, 0}); break;
    case Qt::Key_Up: m_view.panBy({0, stepY}); break;
    case Qt::Key_Down: m_view.panBy({0, -stepY}); break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: m_view.zoomAt(middle, kKeyZoom); break;
    case Qt::Key_Minus: m_view.zoomAt(middle, 1 / kKeyZoom); break;
    case Qt::Key_Home: fitAll(); break;
    default: return QWidget::keyPressEvent(event);
    }
    m_userMoved = event->key() != Qt::Key_Home;
    update();
}

MapWindow::MapWindow(QWidget *parent)
    : QWidget(parent, Qt::Window), m_coastline(std::make_unique<Coastline>())
{
    setObjectName(QStringLiteral("MapWindow"));
    setWindowTitle(QStringLiteral("Map - Log Browser for VELK-AIS"));
    const QString coast = Coastline::defaultPath();
    if (!coast.isEmpty())
        m_coastline->open(coast);
    m_scene.coastline = m_coastline.get();

    m_canvas = new MapCanvas(m_scene, this);
    auto *bar = new QToolBar(this);
    bar->addAction(QStringLiteral("Open..."), this, &MapWindow::open)->setToolTip(QStringLiteral("Add KML, GPX or GeoJSON files (Ctrl+O)"));
    bar->addAction(QStringLiteral("Fit"), m_canvas, &MapCanvas::fitAll)->setToolTip(QStringLiteral("Fit what is shown (Home)"));
    m_areaAction = bar->addAction(QStringLiteral("Draw area"));
    m_areaAction->setCheckable(true);
    m_areaAction->setToolTip(QStringLiteral("Drag a square for area A, B or C (or Shift+drag)"));
    connect(m_areaAction, &QAction::toggled, m_canvas, &MapCanvas::setAreaTool);
    bar->addAction(QStringLiteral("Save PNG"), this, &MapWindow::save)->setToolTip(QStringLiteral("Ctrl+S"));
    bar->addAction(QStringLiteral("Copy"), this, &MapWindow::copyImage)->setToolTip(QStringLiteral("Ctrl+C"));
    bar->addAction(QStringLiteral("Clear tracks"), this, &MapWindow::clearTracks);
    bar->addAction(QStringLiteral("About"), this, &MapWindow::about);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(m_canvas, 1);

    connect(m_canvas, &MapCanvas::areaDrawn, this, &MapWindow::areaDrawn);
    connect(m_canvas, &MapCanvas::stationPicked, this, &MapWindow::stationPicked);
    // The tool draws one area, then the map pans again.
    connect(m_canvas, &MapCanvas::areaToolUsed, m_areaAction, [this] { m_areaAction->setChecked(false); });
    connect(new QShortcut(QKeySequence::Open, this), &QShortcut::activated, this, &MapWindow::open);
    connect(new QShortcut(QKeySequence::Save, this), &QShortcut::activated, this, &MapWindow::save);
    connect(new QShortcut(QKeySequence::Copy, this), &QShortcut::activated, this, &MapWindow::copyImage);
    resize(900, 650);
    m_canvas->setFocus();
}

MapWindow::~MapWindow() = default;

void MapWindow::addTrack(Track track)
{
    addTrack(std::make_shared<const Track>(std::move(track)));
}

void MapWindow::addTrack(std::shared_ptr<const Track> track)
{
    m_scene.tracks.push_back(std::move(track));
    m_canvas->requestFit();
}

void MapWindow::clearTracks()
{
    m_scene.tracks.clear();
    m_scene.hoverTrack = -1;
    m_canvas->update();
}

void MapWindow::setAreas(const std::array<AreaSquare, 3> &areas)
{
    m_scene.areas = areas;
    m_canvas->update();
}

void MapWindow::setRange(RangeLayer layer)
{
    m_scene.range = std::move(layer);
    m_canvas->update();
}

void MapCanvas::contextMenuEvent(QContextMenuEvent *event)
{
    const LatLon at = m_view.toGeo(event->pos());
    const bool chosen = m_stationChooser ? m_stationChooser(event->globalPos()) : [&] {
        QMenu menu(this);
        QAction *station = menu.addAction(QStringLiteral("Station's position here (for the station report)"));
        return menu.exec(event->globalPos()) == station;
    }();
    if (chosen)
        emit stationPicked(at.lat, at.lon);
}

void MapWindow::setAreasShown(bool shown)
{
    m_scene.showAreas = shown;
    m_canvas->setAreaDrawingAllowed(shown);
    m_areaAction->setVisible(shown);
    m_canvas->update();
}

bool MapWindow::openCoastline(const QString &path)
{
    const bool opened = m_coastline->open(path);
    m_canvas->update();
    return opened;
}

QImage MapWindow::image()
{
    MapScene still = m_scene;
    still.hoverTrack = -1;
    still.selection = QRectF();
    return renderImage(m_canvas->viewport(), still);
}

bool MapWindow::saveImage(const QString &path)
{
    return image().save(path, "PNG");
}

void MapWindow::copyImage()
{
    QApplication::clipboard()->setImage(image());
}

QStringList MapWindow::addFiles(const QStringList &paths)
{
    std::vector<Track> tracks;
    const QStringList errors = readTrackFiles(paths, &tracks);
    for (Track &t : tracks)
        addTrack(std::move(t));
    m_canvas->update();
    showUnreadable(errors);
    return errors;
}

void MapWindow::showUnreadable(const QStringList &errors)
{
    if (errors.isEmpty())
        return;
    auto *box = new QMessageBox(QMessageBox::Warning, windowTitle(),
                                QStringLiteral("Not shown:\n%1").arg(errors.join(QLatin1Char('\n'))), QMessageBox::Ok,
                                this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void MapWindow::open()
{
    const QStringList paths = QFileDialog::getOpenFileNames(
        this, QStringLiteral("Open tracks"), QString(),
        QStringLiteral("Tracks and points (*.kml *.gpx *.geojson *.json);;All files (*)"));
    if (!paths.isEmpty())
        addFiles(paths);
}

void MapWindow::save()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save map"), QStringLiteral("map.png"),
                                                      QStringLiteral("PNG images (*.png)"));
    if (!path.isEmpty() && !saveImage(path))
        QMessageBox::warning(this, windowTitle(), QStringLiteral("The map could not be saved to %1.").arg(path));
}

void MapWindow::about()
{
    QMessageBox::about(this, QStringLiteral("About the map"), kAboutText);
}

} // namespace Map

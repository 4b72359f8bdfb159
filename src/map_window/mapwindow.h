#pragma once

#include "map_window/render.h"

#include <QWidget>

#include <functional>
#include <memory>

class QAction;

namespace Map {

class Coastline;

// The surface of the map window: owns the view (centre, scale) and the input,
// and paints through renderMap. Plain drag pans; a drag with Shift, or with
// the area tool on, outlines a rectangle that becomes a search area.
class MapCanvas : public QWidget
{
    Q_OBJECT
public:
    explicit MapCanvas(MapScene &scene, QWidget *parent = nullptr);

    // The view, fitted first when a fit is pending.
    Viewport &viewport();
    void fitAll();                  // Home
    // Fits before the next paint or look at the view: adding tracks one by one
    // then costs one fit, not one over all tracks per track.
    void requestFit();
    void setAreaTool(bool on) { m_areaTool = on; }
    bool areaTool() const { return m_areaTool; }
    // Asked which area a drawn rectangle becomes, at the given global
    // position: 0, 1 or 2 for A, B, C, -1 for none. The default asks with a menu.
    void setAreaChooser(std::function<int(const QPoint &)> chooser) { m_chooser = std::move(chooser); }
    void setAreaDrawingAllowed(bool allowed) { m_areaAllowed = allowed; }
    // Asked on a right click whether the point becomes the station's
    // position; the default asks with a menu.
    void setStationChooser(std::function<bool(const QPoint &)> chooser) { m_stationChooser = std::move(chooser); }

signals:
    // The square's three field texts, as the user would type them.
    void areaDrawn(int area, const QString &latitude, const QString &longitude, const QString &range);
    void areaToolUsed();
    void stationPicked(double latitude, double longitude);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    void finishArea(const QRectF &rect, const QPoint &globalPos);
    void hover(QPointF at, const QPoint &globalPos);

    MapScene &m_scene;
    Viewport m_view;
    bool m_fitted = false;
    bool m_fitPending = false;
    bool m_userMoved = false;
    bool m_areaTool = false;
    bool m_areaAllowed = true;
    enum class Drag { None, Pan, Area } m_drag = Drag::None;
    QPointF m_dragFrom, m_last;
    std::function<int(const QPoint &)> m_chooser;
    std::function<bool(const QPoint &)> m_stationChooser;
};

// The three field texts of the square that covers `box`: its centre, and the
// half-width of the larger side rounded up, to as many decimals as a pixel
// at `pixelsPerDegree` needs.
struct AreaTexts
{
    QString latitude, longitude, range;
};
AreaTexts areaTexts(const GeoBox &box, double pixelsPerDegree);

// The map window: the canvas under a tool bar. Several tracks can be shown at
// once; the areas follow whoever sets them (the main window's fields).
class MapWindow : public QWidget
{
    Q_OBJECT
public:
    explicit MapWindow(QWidget *parent = nullptr);
    ~MapWindow() override;

    // Adds a track and fits the view to everything shown.
    void addTrack(Track track);
    void addTrack(std::shared_ptr<const Track> track);
    std::size_t trackCount() const { return m_scene.tracks.size(); }
    const Track &track(std::size_t i) const { return *m_scene.tracks[i]; }
    void clearTracks();
    void setAreas(const std::array<AreaSquare, 3> &areas);
    // Without a main window there are no area fields to draw into.
    void setAreasShown(bool shown);
    // The station report's range outline and station (an empty layer for none).
    void setRange(RangeLayer layer);

    // Reads KML, GPX and GeoJSON files onto the map, as Open... does once its
    // dialog has chosen them; what could not be read (or only in part) is
    // returned and said in a message box that does not wait.
    QStringList addFiles(const QStringList &paths);
    void showUnreadable(const QStringList &errors);

    // Another coastline file than the installed one (the benchmark's).
    bool openCoastline(const QString &path);

    MapCanvas *canvas() const { return m_canvas; }
    MapScene &scene() { return m_scene; }
    // The map as it is on screen, for Ctrl+S and Ctrl+C.
    QImage image();
    bool saveImage(const QString &path);
    void copyImage();

signals:
    void areaDrawn(int area, const QString &latitude, const QString &longitude, const QString &range);
    // A right click chose the station's position.
    void stationPicked(double latitude, double longitude);

private:
    void open();
    void save();
    void about();

    std::unique_ptr<Coastline> m_coastline;
    MapScene m_scene;
    MapCanvas *m_canvas = nullptr;
    QAction *m_areaAction = nullptr;
};


} // namespace Map

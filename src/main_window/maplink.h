#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class Form1;
class QPoint;

namespace Map {
class MapWindow;
}

// Between the main window and the map window: Ctrl+M and "Show on map" in
// List2's menu add the selected ship's day to the map (opening it), the area
// fields are drawn on the map as they are typed, and a square drawn on the map
// is typed into its row's fields.
class MapLink : public QObject
{
    Q_OBJECT
public:
    explicit MapLink(Form1 &form);
    ~MapLink() override;

    // The day of the ship selected in List1 on the day selected in List2, read
    // as the KML view reads it, added to the map; the map alone when nothing
    // is selected. Nothing during a pass, whose reader is in use.
    void showSelectedDay();
    // The same for a ship item ("MMSI NAME") and a file item of the lists.
    void showDay(const QString &shipItem, const QString &fileItem);
    // The desktop could not open the KML view's file: the map shows the same
    // track, once the view's pass has ended.
    void shellOpenFailed();

    Map::MapWindow *window() const;
    // The map window, opened (or raised) with what it shows.
    Map::MapWindow *showMap() { return openWindow(); }

signals:
    // A new map window, for whoever draws on it besides the main window.
    void windowOpened(Map::MapWindow *window);

private:
    Map::MapWindow *openWindow();
    void pushAreas();
    void typeArea(int area, const QString &latitude, const QString &longitude, const QString &range);
    void fileMenu(const QPoint &at);

    Form1 &m_form;
    QPointer<Map::MapWindow> m_window;
};

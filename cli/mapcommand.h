#pragma once

#include <QString>
#include <QStringList>

// velkais-log map: the map window's picture of a ship's day, or of a KML, GPX
// or GeoJSON file, written as a PNG without any window or display.
struct MapRun
{
    QString file;        // --file: a day log in the engine's log folder; empty for none
    QString ship;        // --ship
    QString name;        // --name
    QString track;       // --track: a KML, GPX or GeoJSON file; empty for none
    QStringList areas;   // --area LAT,LON,RANGE, drawn as areas A, B, C switched on
    QString out;         // --out; empty for standard output ("--out -")
    QString size;        // --size WxH; empty for the default
};

// Exit status as the other commands: 0, 1 (a file could not be read, the
// coastline is damaged, nothing to draw, or the image could not be written),
// 2 (usage). Messages go to standard error.
int mapCommand(const MapRun &run);

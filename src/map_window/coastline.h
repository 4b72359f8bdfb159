#pragma once

#include "map_window/projection.h"

#include <QString>

#include <memory>

class QBrush;
class QPainter;

namespace Map {

// Land and sea from the project's own coastline file (converted from GSHHG's
// binned files at build time). Bins are loaded on demand for what a view shows,
// at the resolution its scale calls for.
class Coastline
{
public:
    Coastline();
    ~Coastline();
    Coastline(const Coastline &) = delete;
    Coastline &operator=(const Coastline &) = delete;

    // False, with a message in error(), when the file is missing, damaged or of
    // another format version; the map then draws without land.
    bool open(const QString &path);
    bool isOpen() const;
    QString error() const;
    // Open, but a bin drawn so far was damaged or over the bounds: error()
    // says which, and the map says so in its corner as for a missing file.
    bool isDamaged() const;

    // Fills the land of what view shows onto painter. Lakes are left unpainted,
    // so they show the sea drawn beneath.
    void draw(QPainter &painter, const Viewport &view);

    // The resolution letter (c, l, i, h, f) draw uses for view: the one its
    // scale calls for, or the one set, as near as the file has; 0 without a file.
    char resolutionFor(const Viewport &view) const;
    // Pins the resolution (0 follows the scale again).
    void setResolution(char letter);
    void setLandBrush(const QBrush &brush);

    // Bytes of bin data held in memory now (bins outside every view drawn so
    // far at their resolution are never loaded).
    qint64 loadedBytes() const;

    // Where the installed coastline file is looked for: beside the program
    // (the Windows folder), then ../share/velkais-log-browser/ from it (an
    // install tree and the build tree). Empty when there is none.
    static QString defaultPath();

private:
    struct Data;
    std::unique_ptr<Data> d;
};

} // namespace Map

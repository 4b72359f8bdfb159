#pragma once

#include "map_window/track.h"

#include <QIODevice>
#include <QString>

#include <vector>

namespace Map {

// What a KML, GPX or GeoJSON file holds for the map: every line (a KML
// LineString, a GPX track segment or route, a GeoJSON LineString) as a track,
// and the loose points (placemarks, waypoints, Point features) as one more
// track without a line. GeoJSON Point features that carry an MMSI, as
// `velkais-log records` writes them, make one track per ship in file order.
struct TrackFile
{
    std::vector<Track> tracks;
    // Points left out because they were not on the globe or not numbers.
    long long skipped = 0;
    // Empty when the file was read; otherwise why not, for the user. A file
    // with nothing to draw is an error too.
    QString error;
};

// Files larger than these are refused unread: XML is read as a stream, but a
// JSON document is parsed whole and takes several times its size in memory.
inline constexpr qint64 kMaxXmlFileBytes = 1024LL * 1024 * 1024;
inline constexpr qint64 kMaxJsonFileBytes = 256LL * 1024 * 1024;
// And a file with more points than this, about 400 MB of map data, or more
// lines (a line costs some 700 bytes beside its points).
inline constexpr long long kMaxFilePoints = 10'000'000;
inline constexpr long long kMaxFileTracks = 200'000;

// The kind is told by the content, not the name.
TrackFile readTrackFile(const QString &path);

// The same from an open device, without the file's size limits (the fuzzers
// feed bytes so). An XML document is read as `format` says, or by its root.
enum class TrackFormat { ByContent, Kml, Gpx };
TrackFile readTrackData(QIODevice &device, const QString &fileName, TrackFormat format = TrackFormat::ByContent);

// "3 points left out (...)", for a file read with some points skipped.
QString skippedText(long long skipped);

// Reads every file of paths into tracks; returns one "path: why" line for
// each file that gave nothing to draw or left points out.
QStringList readTrackFiles(const QStringList &paths, std::vector<Track> *tracks);

} // namespace Map

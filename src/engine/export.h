#pragma once

#include "engine/module1.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QIODevice;

// Records and tracks for other tools: CSV, JSON lines, GeoJSON and GPX, from
// the same reader and matcher as the window's passes.
namespace Module1 {

// Receives every record an export pass lets through, while it is the current
// record.
class RecordSink
{
public:
    virtual ~RecordSink() = default;
    // Returns true to stop the pass (the output can no longer be written).
    virtual bool take(const CurrentRecord &rec, const QString &fileName) = 0;
};

// Every record of the period's files that has an MMSI and passes the MMSI and
// area tests exactly as in a Search, read with all keys as for a view, in file
// order. Period and criteria come from the host. Returns true when it stopped
// early.
bool exportPeriod(RecordSink &sink);
// The same for one file of the log folder, whatever the period.
bool exportFile(const QString &fileName, RecordSink &sink);

// A field as a number by the leading-number rule, or nothing when the text
// holds no number at all: an export must not turn a missing position into 0,0.
std::optional<double> fieldNumber(std::string_view text);
// True for a point on the WGS 84 globe: both given, within +-180 and +-90.
bool isPosition(std::optional<double> longitude, std::optional<double> latitude);

enum class RecordFormat { Csv, Jsonl, GeoJson };

// The CSV's column types as GDAL reads them from a ".csvt" file beside it
// (one line, "String" for the texts, "Real" for the three numbers), so that
// QGIS and ogr2ogr neither guess nor make a date or an MMSI a number.
QByteArray csvColumnTypes();

// Writes each record as it arrives; nothing but a 64 KiB buffer is kept, so a
// year of logs can go through a pipe.
class RecordWriter : public RecordSink
{
public:
    RecordWriter(RecordFormat format, QIODevice &out);
    bool take(const CurrentRecord &rec, const QString &fileName) override;
    // Closes the document and writes out the rest. False when any write failed.
    bool finish();
    long long count() const { return m_count; }

private:
    void csvRow(const CurrentRecord &rec);
    void jsonRecord(const CurrentRecord &rec);
    bool flush();

    RecordFormat m_format;
    QIODevice &m_out;
    std::string m_buffer;
    QString m_fileName;
    std::string m_fileUtf8, m_dateUtf8;
    long long m_count = 0;
    bool m_failed = false;
};

struct TrackPoint
{
    double longitude = 0;
    double latitude = 0;
    std::string time; // recTime as read; empty for the reader's stand-in time
    std::optional<double> speed; // knots; none when the record gives no number
    std::string navStatus;       // recNavStatus as read, often empty
};

struct Track
{
    // The name given, else the ship's last non-empty name in the file (what
    // the ship list's name refresh would show), else its MMSI.
    QString name;
    QString mmsi;
    QString fileName;
    std::vector<TrackPoint> points;
    double maxSpeed = 0;
};

// The day's track of one ship: the records of `mmsi` that the KML view turns
// into points (longitude and latitude both present), in the same order, except
// those whose position is not a point on the globe (see isPosition), which no
// GPX or GeoJSON reader accepts. The maximum speed is over the points kept.
// The host's criteria apply as in exportFile.
Track readTrack(const QString &fileName, const QString &mmsi, const QString &name);

// GPX 1.1: one trk, one trkseg. With an offset (minutes east of UTC, the
// station's clock) a point gets a <time> in UTC from the file's date and its
// recTime; a point whose date or time is not a real one, or whose separator
// had no readable time, gets none. A point with a speed gets it as <desc> in
// knots and as Garmin's TrackPointExtension speed in metres per second.
QByteArray gpxTrack(const Track &track, std::optional<int> utcOffsetMinutes);
// A GeoJSON FeatureCollection: the track as a Feature with a LineString (a
// null geometry for fewer than two points, which make no line), then every
// point as a Point Feature with its time and speed, for a time-based replay.
// Times are in UTC with an offset, the station's clock time without one.
QByteArray geoJsonTrack(const Track &track, std::optional<int> utcOffsetMinutes = std::nullopt);
// "+HH:MM" or "-HH:MM" as minutes east of UTC.
std::optional<int> parseUtcOffset(const QString &text);

} // namespace Module1

#include "map_window/trackfile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <algorithm>
#include <deque>
#include <map>

namespace Map {

namespace {

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 0);
}

// A line named when it opens but made only with its first point on the
// globe: a file of a million empty lines costs nothing.
struct LineSlot
{
    QString name;
    Track *track = nullptr;
};

// Collects what a reader finds: lines as they end, loose points all along.
class Collector
{
public:
    explicit Collector(const QString &fileName) : m_fileName(fileName) { m_points.line = false; }

    // Null, with the error set, past the most lines a file may hold.
    Track *beginLine(const QString &name)
    {
        if (m_lines.size() >= std::size_t(kMaxFileTracks)) {
            m_result.error = QStringLiteral("more than %1 lines (the most a file may hold)").arg(kMaxFileTracks);
            return nullptr;
        }
        m_lines.emplace_back();
        m_lines.back().name = name.isEmpty() ? m_fileName : name;
        return &m_lines.back();
    }
    bool add(Track &track, LatLon p, double speed = Track::noSpeed, QStringView time = {}, QStringView status = {})
    {
        if (++m_count > kMaxFilePoints) {
            m_result.error = QStringLiteral("more than %1 points (the most a file may hold)").arg(kMaxFilePoints);
            return false;
        }
        if (!track.append(p, speed, time, status))
            ++m_result.skipped;
        return true;
    }
    bool add(LineSlot &line, LatLon p, double speed = Track::noSpeed, QStringView time = {}, QStringView status = {})
    {
        if (!line.track) {
            if (!Track::isOnGlobe(p)) {
                ++m_result.skipped;
                return true;
            }
            line.track = beginLine(line.name);
            if (!line.track)
                return false;
        }
        return add(*line.track, p, speed, time, status);
    }
    Track &points() { return m_points; }
    bool failed() const { return !m_result.error.isEmpty(); }
    void fail(const QString &why) { m_result.error = why; }
    void skip() { ++m_result.skipped; }

    TrackFile finish()
    {
        for (Track &t : m_lines)
            m_result.tracks.push_back(std::move(t));
        m_lines.clear();
        // A placemark on the very end of a line marks that end (the KML view
        // writes the final position so); drawn again it would hide the end's time.
        // Sorted, so that a file of many lines and points stays n log n.
        std::vector<std::pair<double, double>> ends;
        for (const Track &t : m_result.tracks) {
            if (!t.isEmpty())
                ends.emplace_back(t.position(t.size() - 1).lat, t.position(t.size() - 1).lon);
        }
        std::sort(ends.begin(), ends.end());
        Track kept;
        kept.line = false;
        kept.name = m_fileName;
        for (std::size_t i = 0; i < m_points.size(); ++i) {
            const LatLon p = m_points.position(i);
            if (!std::binary_search(ends.begin(), ends.end(), std::pair(p.lat, p.lon)))
                kept.append(p, m_points.speed(i), m_points.time(i), m_points.status(i));
        }
        if (!kept.isEmpty())
            m_result.tracks.push_back(std::move(kept));
        std::erase_if(m_result.tracks, [](const Track &t) { return t.isEmpty(); });
        if (m_result.error.isEmpty() && m_result.tracks.empty())
            m_result.error = m_result.skipped > 0
                                 ? QStringLiteral("none of its %1 points is on the globe").arg(m_result.skipped)
                                 : QStringLiteral("no points or lines in it");
        if (!m_result.error.isEmpty())
            m_result.tracks.clear();
        return std::move(m_result);
    }

private:
    QString m_fileName;
    TrackFile m_result;
    // A deque, so that a line being filled stays where it is while others begin.
    std::deque<Track> m_lines;
    Track m_points;
    long long m_count = 0;
};

// One "lon,lat[,alt]" tuple, or with `separator` ' ' the "lon lat alt" of gx:coord.
bool parseTuple(QStringView tuple, QChar separator, LatLon &p)
{
    const qsizetype cut = tuple.indexOf(separator);
    if (cut < 0)
        return false;
    const QStringView rest = tuple.mid(cut + 1).trimmed();
    bool lonOk = false, latOk = false;
    p.lon = tuple.left(cut).trimmed().toDouble(&lonOk);
    p.lat = rest.left(rest.indexOf(separator)).trimmed().toDouble(&latOk);
    return lonOk && latOk;
}

// "lon,lat[,alt]" tuples apart by white space, as KML writes coordinates.
bool addKmlCoordinates(Collector &c, LineSlot &line, QStringView text, QStringView time = {})
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        while (i < n && text[i].isSpace())
            ++i;
        const qsizetype start = i;
        while (i < n && !text[i].isSpace())
            ++i;
        if (i == start)
            break;
        LatLon p;
        if (!parseTuple(text.mid(start, i - start), u',', p))
            c.skip();
        else if (!c.add(line, p, Track::noSpeed, time))
            return false;
    }
    return true;
}

void readKml(QXmlStreamReader &xml, Collector &c)
{
    // The nearest Document or Folder name names a line whose placemark has none.
    QStringList containerNames;
    QString placemarkName, when;
    bool inPlacemark = false;
    // A gx:Track: its times and positions come as two lists, paired in order.
    bool inGxTrack = false;
    QStringList gxWhens;
    qsizetype gxCoords = 0;
    LineSlot gxLine;
    auto title = [&] {
        QString t = placemarkName;
        for (qsizetype k = containerNames.size() - 1; t.isEmpty() && k >= 0; --k)
            t = containerNames[k];
        return t;
    };
    QStringList open{QStringLiteral("kml")};
    while (!c.failed() && !xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement()) {
            const QStringView name = xml.name();
            if ((name == u"Document" || name == u"Folder") && !containerNames.isEmpty())
                containerNames.removeLast();
            else if (name == u"Placemark")
                inPlacemark = false;
            else if (name == u"Track" && inGxTrack)
                inGxTrack = false;
            if (!open.isEmpty())
                open.removeLast();
            continue;
        }
        if (!xml.isStartElement())
            continue;
        const QString name = xml.name().toString();
        const QString parent = open.isEmpty() ? QString() : open.last();
        // readElementText consumes the end element: such elements are not pushed.
        if (name == u"name" && (parent == u"Placemark" || parent == u"Document" || parent == u"Folder")) {
            const QString text = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
            if (parent == u"Placemark")
                placemarkName = text;
            else if (!containerNames.isEmpty())
                containerNames.last() = text;
            continue;
        }
        // The KML view writes "MMSI:431000000" and the maximum speed into the
        // folder's description; a ship without a name is named by its MMSI.
        if (name == u"description" && parent == u"Folder") {
            const QString text = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
            if (!containerNames.isEmpty() && containerNames.last().isEmpty() && text.startsWith(u"MMSI:"))
                containerNames.last() = text.mid(5).section(QLatin1Char('\n'), 0, 0).trimmed();
            continue;
        }
        if (name == u"when" && inGxTrack && parent == u"Track") {
            // Whens come first in most files; a few are kept until their coordinates come.
            const QString text = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
            if (gxCoords < qsizetype(kMaxFilePoints))
                gxWhens << text;
            continue;
        }
        if (name == u"when" && inPlacemark) {
            when = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
            continue;
        }
        if (name == u"coord" && inGxTrack) {
            const QString text = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
            LatLon p;
            const QString time = gxWhens.value(gxCoords++);
            if (!parseTuple(text, u' ', p))
                c.skip();
            else
                c.add(gxLine, p, Track::noSpeed, time);
            continue;
        }
        if (name == u"coordinates") {
            const QString text = xml.readElementText(QXmlStreamReader::SkipChildElements);
            if (parent == u"LineString") {
                LineSlot line{title()};
                addKmlCoordinates(c, line, text);
            } else if (parent == u"Point") {
                LineSlot points{QString(), &c.points()};
                addKmlCoordinates(c, points, text, when);
            }
            continue;
        }
        if (name == u"Document" || name == u"Folder") {
            containerNames << QString();
        } else if (name == u"Placemark") {
            inPlacemark = true;
            placemarkName.clear();
            when.clear();
        } else if (name == u"Track" && !inGxTrack) {
            inGxTrack = true;
            gxWhens.clear();
            gxCoords = 0;
            gxLine = {title()};
        }
        open << name;
    }
}

double attributeNumber(const QXmlStreamAttributes &attributes, QLatin1StringView name, bool *ok)
{
    return attributes.value(name).trimmed().toDouble(ok);
}

void readGpx(QXmlStreamReader &xml, Collector &c)
{
    QString trackName;
    // The segment or route being read; points outside any begin one. Its
    // serial tells a point whether the line it began in is still open.
    LineSlot line;
    bool lineOpen = false;
    int lineSerial = 0;
    auto beginLine = [&] {
        line = {trackName};
        lineOpen = true;
        ++lineSerial;
    };
    // A trkpt, rtept or wpt being read: its position, then time and speed from its children.
    struct Pending
    {
        bool open = false;
        bool valid = false;
        bool loose = false;
        int serial = 0;
        LatLon at;
        QString time;
        double speed = Track::noSpeed;
    } point;
    QStringList open;
    while (!c.failed() && !xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement()) {
            const QStringView name = xml.name();
            if ((name == u"trkpt" || name == u"rtept" || name == u"wpt") && point.open) {
                point.open = false;
                // A point whose line ended inside it (a hostile file's order of
                // tags) is kept as a loose point.
                LineSlot loose{QString(), &c.points()};
                LineSlot &target = !point.loose && lineOpen && point.serial == lineSerial ? line : loose;
                if (!point.valid)
                    c.skip();
                else if (!c.add(target, point.at, point.speed, point.time))
                    return;
            } else if (name == u"trkseg" || name == u"rte") {
                lineOpen = false;
            }
            if (!open.isEmpty())
                open.removeLast();
            continue;
        }
        if (!xml.isStartElement())
            continue;
        const QString name = xml.name().toString();
        const QString parent = open.isEmpty() ? QString() : open.last();
        if (name == u"trk") {
            trackName.clear();
        } else if (name == u"rte") {
            trackName.clear();
            lineOpen = false;
        } else if (name == u"name" && (parent == u"trk" || parent == u"rte")) {
            trackName = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
            // A route's points come after its name; a line begun without it takes it still.
            if (lineOpen && !line.track)
                line.name = trackName;
            continue;
        } else if (name == u"trkseg") {
            beginLine();
        } else if (name == u"trkpt" || name == u"rtept" || name == u"wpt") {
            point = {};
            point.loose = name == u"wpt";
            // A trkpt outside any trkseg, a rtept after the rte's name: a line of their own.
            if (!point.loose && !lineOpen)
                beginLine();
            bool latOk = false, lonOk = false;
            point.open = true;
            point.serial = lineSerial;
            point.at = {attributeNumber(xml.attributes(), QLatin1StringView("lat"), &latOk),
                        attributeNumber(xml.attributes(), QLatin1StringView("lon"), &lonOk)};
            point.valid = latOk && lonOk;
        } else if (point.open && name == u"time") {
            point.time = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
            continue;
        } else if (point.open && name == u"speed") {
            // GPX 1.0 gives metres per second; the map speaks knots.
            bool ok = false;
            const double metres = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed().toDouble(&ok);
            if (ok)
                point.speed = metres * 3600.0 / 1852.0;
            continue;
        }
        open << name;
    }
}

bool coordinate(const QJsonValue &value, LatLon &p)
{
    const QJsonArray a = value.toArray();
    if (a.size() < 2 || !a[0].isDouble() || !a[1].isDouble())
        return false;
    p = {a[1].toDouble(), a[0].toDouble()};
    return true;
}

class GeoJsonReader
{
public:
    explicit GeoJsonReader(Collector &c) : m_c(c) {}

    void object(const QJsonObject &o)
    {
        if (m_c.failed())
            return;
        const QString type = o.value(u"type").toString();
        if (type == u"FeatureCollection") {
            for (const QJsonValue f : o.value(u"features").toArray())
                object(f.toObject());
        } else if (type == u"Feature") {
            feature(o.value(u"geometry").toObject(), o.value(u"properties").toObject());
        } else {
            feature(o, {});
        }
    }

private:
    void feature(const QJsonObject &geometry, const QJsonObject &properties)
    {
        const QString type = geometry.value(u"type").toString();
        const QJsonValue coordinates = geometry.value(u"coordinates");
        QString name = properties.value(u"name").toString();
        if (name.isEmpty())
            name = properties.value(u"mmsi").toString();
        if (type == u"LineString") {
            Track *track = line(name, coordinates.toArray());
            const QString mmsi = properties.value(u"mmsi").toString();
            if (!mmsi.isEmpty() && track)
                m_lineOf[mmsi] = track;
        } else if (type == u"MultiLineString") {
            for (const QJsonValue part : coordinates.toArray())
                line(name, part.toArray());
        } else if (type == u"Point") {
            point(coordinates, properties);
        } else if (type == u"MultiPoint") {
            for (const QJsonValue p : coordinates.toArray())
                point(p, properties);
        } else if (type == u"GeometryCollection") {
            for (const QJsonValue g : geometry.value(u"geometries").toArray())
                feature(g.toObject(), properties);
        }
    }

    // The line made, or null when none of its points was on the globe.
    Track *line(const QString &name, const QJsonArray &points)
    {
        LineSlot line{name};
        for (const QJsonValue v : points) {
            LatLon p;
            if (!coordinate(v, p))
                m_c.skip();
            else if (!m_c.add(line, p))
                break;
        }
        return line.track;
    }

    // A record of `velkais-log records` joins its ship's track; any other point
    // is a loose one.
    void point(const QJsonValue &value, const QJsonObject &properties)
    {
        LatLon p;
        if (!coordinate(value, p)) {
            m_c.skip();
            return;
        }
        // `records` names the ship recMmsi; a `track` document's per-report
        // points carry mmsi, time and speed beside their LineString.
        QString mmsi = properties.value(u"recMmsi").toString();
        if (mmsi.isEmpty() && properties.contains(u"time"))
            mmsi = properties.value(u"mmsi").toString();
        if (mmsi.isEmpty()) {
            m_c.add(m_c.points(), p, Track::noSpeed, properties.value(u"time").toString());
            return;
        }
        auto found = m_ships.find(mmsi);
        if (found == m_ships.end()) {
            if (!Track::isOnGlobe(p)) {
                m_c.skip();
                return;
            }
            Track *track = m_c.beginLine(mmsi);
            if (!track)
                return;
            found = m_ships.emplace(mmsi, Ship{track, {}}).first;
        }
        Ship &ship = found->second;
        const QString shipName = properties.value(u"recName").toString();
        if (!shipName.isEmpty())
            ship.track->name = mmsi + QLatin1Char(' ') + shipName;
        const QString status = properties.value(u"recNavStatus").toString();
        if (!status.isEmpty())
            ship.status = status;
        QString time = properties.value(u"recTime").toString();
        const QString date = properties.value(u"date").toString();
        if (!date.isEmpty() && !time.isEmpty())
            time = date + QLatin1Char(' ') + time;
        if (time.isEmpty())
            time = properties.value(u"time").toString();
        const QJsonValue speed = properties.value(u"speed");
        m_c.add(*ship.track, p, speed.isDouble() ? speed.toDouble() : Track::noSpeed, time, ship.status);
    }

public:
    // A `track` document holds a ship's day twice: as a LineString and as
    // one timed point per report. Shown once, with the times and speeds.
    void mergeTimedPoints()
    {
        for (auto &[mmsi, ship] : m_ships) {
            const auto line = m_lineOf.find(mmsi);
            if (line == m_lineOf.end() || line->second->size() != ship.track->size())
                continue;
            ship.track->name = line->second->name;
            *line->second = Track();
        }
    }

private:
    struct Ship
    {
        Track *track;
        QString status;
    };
    Collector &m_c;
    std::map<QString, Ship> m_ships;
    std::map<QString, Track *> m_lineOf;
};

} // namespace

QString skippedText(long long skipped)
{
    return skipped == 1 ? QStringLiteral("1 point left out (not numbers or not on the globe)")
                        : QStringLiteral("%1 points left out (not numbers or not on the globe)").arg(skipped);
}

TrackFile readTrackData(QIODevice &device, const QString &fileName, TrackFormat format)
{
    // UTF-16 with a byte-order mark is told by its first character too: some
    // Windows programs write KML so. QXmlStreamReader follows the mark itself.
    const QByteArray head = device.peek(4096);
    QString start;
    if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF")) {
        QStringDecoder decode(head.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        start = decode(head.mid(2, head.size() & ~1));
    } else {
        start = QString::fromUtf8(head.startsWith("\xEF\xBB\xBF") ? head.mid(3) : head);
    }
    qsizetype i = 0;
    while (i < start.size() && (start[i] == u' ' || start[i] == u'\t' || start[i] == u'\r' || start[i] == u'\n'))
        ++i;
    const QChar first = i < start.size() ? start[i] : QChar();
    if (first != u'<' && first != u'{')
        return {{}, 0, QStringLiteral("not a KML, GPX or GeoJSON file")};

    Collector c(fileName);
    if (first == u'{') {
        if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF"))
            return {{}, 0, QStringLiteral("GeoJSON in UTF-16; GeoJSON is read as UTF-8")};
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(device.readAll(), &error);
        if (error.error != QJsonParseError::NoError)
            return {{}, 0, QStringLiteral("not valid JSON at byte %1: %2").arg(error.offset).arg(error.errorString())};
        GeoJsonReader reader(c);
        reader.object(doc.object());
        reader.mergeTimedPoints();
        return c.finish();
    }

    QXmlStreamReader xml(&device);
    if (!xml.readNextStartElement())
        return {{}, 0, QStringLiteral("not well-formed XML at line %1: %2").arg(xml.lineNumber()).arg(xml.errorString())};
    const bool kml = format == TrackFormat::Kml || (format == TrackFormat::ByContent && xml.name() == u"kml");
    const bool gpx = format == TrackFormat::Gpx || (format == TrackFormat::ByContent && xml.name() == u"gpx");
    if (kml)
        readKml(xml, c);
    else if (gpx)
        readGpx(xml, c);
    else
        return {{}, 0, QStringLiteral("not KML or GPX (the document is <%1>)").arg(xml.name().toString())};
    if (!c.failed() && xml.hasError())
        c.fail(QStringLiteral("not well-formed XML at line %1: %2").arg(xml.lineNumber()).arg(xml.errorString()));
    return c.finish();
}

TrackFile readTrackFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {{}, 0, QStringLiteral("no such file")};
    if (!info.isFile())
        return {{}, 0, QStringLiteral("not a file")};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, 0, file.errorString()};
    // A JSON document is parsed whole; XML is read as a stream.
    const QByteArray head = file.peek(4096);
    const qint64 limit = head.contains('<') && (!head.contains('{') || head.indexOf('<') < head.indexOf('{'))
                             ? kMaxXmlFileBytes
                             : kMaxJsonFileBytes;
    if (info.size() > limit)
        return {{}, 0, QStringLiteral("too large (%1 MB; at most %2 MB)").arg(megabytes(info.size()), megabytes(limit))};
    return readTrackData(file, info.fileName());
}

QStringList readTrackFiles(const QStringList &paths, std::vector<Track> *tracks)
{
    QStringList errors;
    for (const QString &path : paths) {
        TrackFile read = readTrackFile(path);
        if (!read.error.isEmpty()) {
            errors << QStringLiteral("%1: %2").arg(path, read.error);
            continue;
        }
        if (read.skipped > 0)
            errors << QStringLiteral("%1: %2").arg(path, skippedText(read.skipped));
        for (Track &t : read.tracks)
            tracks->push_back(std::move(t));
    }
    return errors;
}

} // namespace Map

#include "map_window/trackfile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
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

// Collects what a reader finds: lines as they end, loose points all along.
class Collector
{
public:
    explicit Collector(const QString &fileName) : m_fileName(fileName) { m_points.line = false; }

    Track &beginLine(const QString &name)
    {
        m_lines.emplace_back();
        m_lines.back().name = name.isEmpty() ? m_fileName : name;
        return m_lines.back();
    }
    bool add(Track &track, LatLon p, double speed = Track::noSpeed, QStringView time = {}, QStringView status = {})
    {
        if (++m_count > kMaxFilePoints) {
            m_result.error = QStringLiteral("more than %1 points").arg(kMaxFilePoints);
            return false;
        }
        if (!track.append(p, speed, time, status))
            ++m_result.skipped;
        return true;
    }
    Track &points() { return m_points; }
    bool failed() const { return !m_result.error.isEmpty(); }
    void fail(const QString &why) { m_result.error = why; }
    void skip() { ++m_result.skipped; }

    TrackFile finish()
    {
        for (Track &t : m_lines)
            m_result.tracks.push_back(std::move(t));
        // A placemark on the very end of a line marks that end (the KML view
        // writes the final position so); drawn again it would hide the end's time.
        std::vector<LatLon> ends;
        for (const Track &t : m_result.tracks) {
            if (!t.isEmpty())
                ends.push_back(t.position(t.size() - 1));
        }
        Track kept;
        kept.line = false;
        kept.name = m_fileName;
        for (std::size_t i = 0; i < m_points.size(); ++i) {
            const LatLon p = m_points.position(i);
            if (std::none_of(ends.begin(), ends.end(),
                             [p](LatLon e) { return e.lat == p.lat && e.lon == p.lon; }))
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

// "lon,lat[,alt]" tuples apart by white space, as KML writes coordinates.
bool addKmlCoordinates(Collector &c, Track &track, QStringView text, QStringView time = {})
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
        const QStringView tuple = text.mid(start, i - start);
        const qsizetype comma = tuple.indexOf(u',');
        bool lonOk = false, latOk = false;
        const double lon = tuple.left(comma).toDouble(&lonOk);
        const QStringView rest = comma < 0 ? QStringView() : tuple.mid(comma + 1);
        const double lat = rest.left(rest.indexOf(u',')).toDouble(&latOk);
        if (!lonOk || !latOk || comma < 0)
            c.skip();
        else if (!c.add(track, {lat, lon}, Track::noSpeed, time))
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
    QStringList open{QStringLiteral("kml")};
    while (!c.failed() && !xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement()) {
            const QStringView name = xml.name();
            if ((name == u"Document" || name == u"Folder") && !containerNames.isEmpty())
                containerNames.removeLast();
            else if (name == u"Placemark")
                inPlacemark = false;
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
        if (name == u"when" && inPlacemark) {
            when = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
            continue;
        }
        if (name == u"coordinates") {
            const QString text = xml.readElementText(QXmlStreamReader::SkipChildElements);
            if (parent == u"LineString") {
                QString title = placemarkName;
                for (qsizetype k = containerNames.size() - 1; title.isEmpty() && k >= 0; --k)
                    title = containerNames[k];
                addKmlCoordinates(c, c.beginLine(title), text);
            } else if (parent == u"Point") {
                addKmlCoordinates(c, c.points(), text, when);
            }
            continue;
        }
        if (name == u"Document" || name == u"Folder") {
            containerNames << QString();
        } else if (name == u"Placemark") {
            inPlacemark = true;
            placemarkName.clear();
            when.clear();
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
    Track *line = nullptr;
    // A trkpt, rtept or wpt being read: its position, then time and speed from its children.
    struct Pending
    {
        bool open = false;
        bool valid = false;
        bool loose = false;
        LatLon at;
        QString time, name;
        double speed = Track::noSpeed;
    } point;
    QStringList open;
    while (!c.failed() && !xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement()) {
            const QStringView name = xml.name();
            if ((name == u"trkpt" || name == u"rtept" || name == u"wpt") && point.open) {
                point.open = false;
                Track &target = point.loose ? c.points() : *line;
                if (!point.valid)
                    c.skip();
                else if (!c.add(target, point.at, point.speed, point.time))
                    return;
            } else if (name == u"trkseg" || name == u"rte") {
                line = nullptr;
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
            line = nullptr;
        } else if (name == u"name" && (parent == u"trk" || parent == u"rte")) {
            trackName = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
            continue;
        } else if (name == u"trkseg") {
            line = &c.beginLine(trackName);
        } else if (name == u"trkpt" || name == u"rtept" || name == u"wpt") {
            if (!line && name == u"rtept")
                line = &c.beginLine(trackName);
            if (!line && name == u"trkpt")
                line = &c.beginLine(trackName); // a trkpt outside any trkseg
            bool latOk = false, lonOk = false;
            point = {};
            point.open = true;
            point.loose = name == u"wpt";
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
            Track &track = line(name, coordinates.toArray());
            const QString mmsi = properties.value(u"mmsi").toString();
            if (!mmsi.isEmpty())
                m_lineOf[mmsi] = &track;
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

    Track &line(const QString &name, const QJsonArray &points)
    {
        Track &track = m_c.beginLine(name);
        for (const QJsonValue v : points) {
            LatLon p;
            if (!coordinate(v, p))
                m_c.skip();
            else if (!m_c.add(track, p))
                break;
        }
        return track;
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
            found = m_ships.emplace(mmsi, Ship{&m_c.beginLine(mmsi), {}}).first;
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

TrackFile readTrackFile(const QString &path)
{
    const QFileInfo info(path);
    const QString fileName = info.fileName();
    if (!info.exists())
        return {{}, 0, QStringLiteral("no such file")};
    if (!info.isFile())
        return {{}, 0, QStringLiteral("not a file")};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, 0, file.errorString()};

    const QByteArray head = file.peek(4096);
    qsizetype i = head.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (i < head.size() && (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n'))
        ++i;
    const char first = i < head.size() ? head[i] : '\0';
    if (first != '<' && first != '{')
        return {{}, 0, QStringLiteral("not a KML, GPX or GeoJSON file")};
    const qint64 limit = first == '<' ? kMaxXmlFileBytes : kMaxJsonFileBytes;
    if (info.size() > limit)
        return {{}, 0, QStringLiteral("too large (%1 MB; at most %2 MB)").arg(megabytes(info.size()), megabytes(limit))};

    Collector c(fileName);
    if (first == '{') {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
        if (error.error != QJsonParseError::NoError)
            return {{}, 0, QStringLiteral("not valid JSON at byte %1: %2").arg(error.offset).arg(error.errorString())};
        GeoJsonReader reader(c);
        reader.object(doc.object());
        reader.mergeTimedPoints();
        return c.finish();
    }

    QXmlStreamReader xml(&file);
    if (!xml.readNextStartElement())
        return {{}, 0, QStringLiteral("not well-formed XML at line %1: %2").arg(xml.lineNumber()).arg(xml.errorString())};
    if (xml.name() == u"kml")
        readKml(xml, c);
    else if (xml.name() == u"gpx")
        readGpx(xml, c);
    else
        return {{}, 0, QStringLiteral("not KML or GPX (the document is <%1>)").arg(xml.name().toString())};
    if (!c.failed() && xml.hasError())
        c.fail(QStringLiteral("not well-formed XML at line %1: %2").arg(xml.lineNumber()).arg(xml.errorString()));
    return c.finish();
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
        for (Track &t : read.tracks)
            tracks->push_back(std::move(t));
    }
    return errors;
}

} // namespace Map

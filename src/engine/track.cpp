#include "engine/export.h"

#include "engine/internal.h"
#include "engine/numbers.h"
#include "engine/text.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QXmlStreamWriter>

#include <cmath>

namespace Module1 {

namespace {

class TrackSink : public RecordSink
{
public:
    TrackSink(Track &track, std::string mmsi) : m_track(track), m_mmsi(std::move(mmsi)) {}

    bool take(const CurrentRecord &rec, const QString &) override
    {
        if (rec.recMmsi != m_mmsi)
            return false;
        // As the ship list's name refresh: every named record counts, with a
        // position or without.
        if (!rec.recName.empty())
            m_lastName = rec.recName;
        // The KML view's test for a point: both texts present.
        if (rec.recLongitude.empty() || rec.recLatitude.empty())
            return false;
        const auto longitude = fieldNumber(rec.recLongitude);
        const auto latitude = fieldNumber(rec.recLatitude);
        if (!isPosition(longitude, latitude))
            return false;
        m_track.points.push_back({*longitude, *latitude, detail::g_timeReplaced ? std::string() : rec.recTime,
                                  fieldNumber(rec.recSpeed), rec.recNavStatus});
        const double speed = leadingNumber(rec.recSpeed);
        if (m_track.maxSpeed < speed)
            m_track.maxSpeed = speed;
        return false;
    }

    const std::string &lastName() const { return m_lastName; }

private:
    Track &m_track;
    std::string m_mmsi;
    std::string m_lastName;
};

// XML 1.0 cannot carry control characters other than tab and line ends, nor
// U+FFFE and U+FFFF; the stream writer would pass them on and make the file
// unreadable. A lone surrogate comes out of toUcs4 as U+FFFD.
QString xmlText(const QString &text)
{
    QList<char32_t> kept;
    for (const char32_t c : text.toUcs4()) {
        if (c == '\t' || c == '\n' || c == '\r' || (c >= 0x20 && c != 0xFFFE && c != 0xFFFF))
            kept.append(c);
    }
    return QString::fromUcs4(kept.constData(), kept.size());
}

// xsd:decimal, which has no exponent: 0.00001, not 1e-05.
QString decimal(double value)
{
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

// A time of exactly "HH:MM:SS" on a real clock, or an invalid QTime.
QTime clockTime(const std::string &text)
{
    if (text.size() != 8 || text[2] != ':' || text[5] != ':')
        return {};
    for (const int i : {0, 1, 3, 4, 6, 7}) {
        if (text[i] < '0' || text[i] > '9')
            return {};
    }
    const auto two = [&](int i) { return (text[i] - '0') * 10 + (text[i + 1] - '0'); };
    return QTime(two(0), two(3), two(6)); // invalid past 23:59:59
}

// A point's time: in UTC with an offset, else as the station's clock read it
// (a QDateTime in UTC standing for that local time); invalid when the file's
// date or the point's time is not a real one.
QDateTime pointTime(const QDate &date, const TrackPoint &p, std::optional<int> utcOffsetMinutes)
{
    const QTime time = clockTime(p.time);
    if (!date.isValid() || !time.isValid())
        return {};
    const QDateTime clock(date, time, Qt::UTC);
    return utcOffsetMinutes ? clock.addSecs(-60LL * *utcOffsetMinutes) : clock;
}

QDate fileDate(const Track &track)
{
    return QDate::fromString(leftChars(track.fileName, 8), QStringLiteral("yyyyMMdd"));
}

constexpr double kMetresPerSecondPerKnot = 1852.0 / 3600.0;
const QString kTrackPointExtension = QStringLiteral("http://www.garmin.com/xmlschemas/TrackPointExtension/v2");

} // namespace

Track readTrack(const QString &fileName, const QString &mmsi, const QString &name)
{
    Track track;
    track.mmsi = mmsi;
    track.fileName = fileName;
    TrackSink sink(track, toStd(mmsi));
    exportFile(fileName, sink);
    track.name = !name.isEmpty() ? name : !sink.lastName().empty() ? toQString(sink.lastName()) : mmsi;
    return track;
}

QByteArray gpxTrack(const Track &track, std::optional<int> utcOffsetMinutes)
{
    const QDate date = fileDate(track);
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("gpx"));
    xml.writeDefaultNamespace(QStringLiteral("http://www.topografix.com/GPX/1/1"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.1"));
    xml.writeAttribute(QStringLiteral("creator"), QStringLiteral("velkais-log"));
    xml.writeNamespace(kTrackPointExtension, QStringLiteral("gpxtpx"));
    xml.writeStartElement(QStringLiteral("trk"));
    xml.writeTextElement(QStringLiteral("name"), xmlText(track.name));
    xml.writeTextElement(QStringLiteral("desc"),
                         xmlText(QStringLiteral("MMSI %1, %2, max %3 knots")
                                     .arg(track.mmsi, track.fileName, decimal(track.maxSpeed))));
    xml.writeStartElement(QStringLiteral("trkseg"));
    for (const TrackPoint &p : track.points) {
        xml.writeStartElement(QStringLiteral("trkpt"));
        xml.writeAttribute(QStringLiteral("lat"), decimal(p.latitude));
        // 180 and -180 are one meridian; GPX takes only the latter.
        xml.writeAttribute(QStringLiteral("lon"), decimal(p.longitude == 180 ? -180 : p.longitude));
        const QDateTime utc = pointTime(date, p, utcOffsetMinutes);
        if (utcOffsetMinutes && utc.isValid())
            xml.writeTextElement(QStringLiteral("time"), utc.toString(Qt::ISODate));
        if (p.speed) {
            // GPX 1.1 has no speed of its own: the knots for people and for
            // readers of plain fields, metres per second where the tools look.
            xml.writeTextElement(QStringLiteral("desc"), decimal(*p.speed) + QStringLiteral(" knots"));
            if (*p.speed >= 0) {
                xml.writeStartElement(QStringLiteral("extensions"));
                xml.writeStartElement(kTrackPointExtension, QStringLiteral("TrackPointExtension"));
                xml.writeTextElement(kTrackPointExtension, QStringLiteral("speed"),
                                     decimal(std::round(*p.speed * kMetresPerSecondPerKnot * 1000) / 1000));
                xml.writeEndElement();
                xml.writeEndElement();
            }
        }
        xml.writeEndElement();
    }
    xml.writeEndDocument();
    return out;
}

QByteArray geoJsonTrack(const Track &track, std::optional<int> utcOffsetMinutes)
{
    QJsonValue geometry = QJsonValue::Null;
    if (track.points.size() >= 2) {
        QJsonArray coordinates;
        for (const TrackPoint &p : track.points)
            coordinates.append(QJsonArray{p.longitude, p.latitude});
        geometry = QJsonObject{{QStringLiteral("type"), QStringLiteral("LineString")},
                               {QStringLiteral("coordinates"), coordinates}};
    }
    const QJsonObject properties{{QStringLiteral("name"), track.name},
                                 {QStringLiteral("mmsi"), track.mmsi},
                                 {QStringLiteral("file"), track.fileName},
                                 {QStringLiteral("maxSpeed"), track.maxSpeed}};
    QJsonArray features{QJsonObject{{QStringLiteral("type"), QStringLiteral("Feature")},
                                    {QStringLiteral("geometry"), geometry},
                                    {QStringLiteral("properties"), properties}}};
    const QDate date = fileDate(track);
    const QString timeFormat = utcOffsetMinutes ? QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'")
                                                : QStringLiteral("yyyy-MM-dd'T'HH:mm:ss");
    for (const TrackPoint &p : track.points) {
        const QDateTime time = pointTime(date, p, utcOffsetMinutes);
        const QJsonObject point{
            {QStringLiteral("mmsi"), track.mmsi},
            {QStringLiteral("time"), time.isValid() ? QJsonValue(time.toString(timeFormat)) : QJsonValue()},
            {QStringLiteral("speed"), p.speed ? QJsonValue(*p.speed) : QJsonValue()}};
        features.append(QJsonObject{
            {QStringLiteral("type"), QStringLiteral("Feature")},
            {QStringLiteral("geometry"), QJsonObject{{QStringLiteral("type"), QStringLiteral("Point")},
                                                     {QStringLiteral("coordinates"), QJsonArray{p.longitude, p.latitude}}}},
            {QStringLiteral("properties"), point}});
    }
    const QJsonObject collection{{QStringLiteral("type"), QStringLiteral("FeatureCollection")},
                                 {QStringLiteral("features"), features}};
    return QJsonDocument(collection).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<int> parseUtcOffset(const QString &text)
{
    if (text.size() != 6 || (text[0] != QLatin1Char('+') && text[0] != QLatin1Char('-')) ||
        text[3] != QLatin1Char(':'))
        return std::nullopt;
    for (const int i : {1, 2, 4, 5}) {
        if (!text[i].isDigit() || text[i].unicode() > '9')
            return std::nullopt;
    }
    const int hours = text.mid(1, 2).toInt();
    const int minutes = text.mid(4, 2).toInt();
    // Real offsets run from -12:00 to +14:00.
    if (minutes > 59 || hours * 60 + minutes > 14 * 60)
        return std::nullopt;
    const int total = hours * 60 + minutes;
    return text[0] == QLatin1Char('-') ? -total : total;
}

} // namespace Module1

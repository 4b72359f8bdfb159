#include "engine/passageformat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <cmath>

namespace Module1 {

namespace {

// The shortest text that reads back as the same double.
QString number(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString optionalNumber(const std::optional<double> &value)
{
    return value ? number(*value) : QString();
}

QString sideText(Side side)
{
    return QString(QLatin1Char(side));
}

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')) &&
        !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// The JSON value of column `i` of passageValues: numbers as numbers, a
// missing one as null, "stopped" as a boolean.
QJsonValue jsonValue(const QStringList &fields, const QStringList &values, int i)
{
    static const QStringList texts = {"area", "mmsi", "name", "entry", "exit", "entrySide", "exitSide"};
    const QString &key = fields[i];
    const QString &value = values[i];
    if (key == QLatin1String("stopped"))
        return value == QLatin1String("yes");
    if (texts.contains(key))
        return value.isEmpty() && (key == QLatin1String("entry") || key == QLatin1String("exit")) ? QJsonValue()
                                                                                               : QJsonValue(value);
    if (value.isEmpty())
        return QJsonValue();
    return value.toDouble();
}

QJsonObject jsonProperties(const Passage &p, std::optional<int> utcOffsetMinutes)
{
    const QStringList fields = passageFields();
    const QStringList values = passageValues(p, utcOffsetMinutes);
    QJsonObject o;
    for (int i = 0; i < fields.size(); ++i)
        o.insert(fields[i], jsonValue(fields, values, i));
    return o;
}

QString durationText(const std::optional<long long> &seconds)
{
    if (!seconds)
        return QStringLiteral("--:--:--");
    const long long s = std::llabs(*seconds);
    return QStringLiteral("%1%2:%3:%4")
        .arg(*seconds < 0 ? "-" : "")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString textLine(const Passage &p, std::optional<int> utcOffsetMinutes)
{
    const auto time = [&](const QDate &d, int s) {
        const QString t = passageTime(d, s, utcOffsetMinutes);
        return t.isEmpty() ? QStringLiteral("%1 --:--:--").arg(d.toString(QStringLiteral("yyyy-MM-dd")), -10) : t;
    };
    const auto speed = [](const std::optional<double> &v) {
        return v ? QString::number(*v, 'f', 1) : QStringLiteral("-");
    };
    // Joined, not formatted: a log's name or MMSI may hold "%1".
    QStringList parts{areaLetter(p.area), QString::fromStdString(p.mmsi), time(p.entryDate, p.entrySeconds),
                      QStringLiteral("-"), time(p.exitDate, p.exitSeconds), durationText(p.duration()),
                      sideText(p.entrySide) + QStringLiteral("->") + sideText(p.exitSide),
                      QStringLiteral("%1 fixes,").arg(p.fixes),
                      speed(p.speedMin) + QLatin1Char('/') + speed(p.speedMedian) + QLatin1Char('/') +
                          speed(p.speedMax) + QStringLiteral(" kn,"),
                      p.bearing ? QStringLiteral("%1\u00b0").arg(std::lround(*p.bearing) % 360, 3, 10, QLatin1Char('0'))
                                : QStringLiteral("---")};
    if (p.stopped)
        parts << QStringLiteral("stopped");
    if (!p.name.empty())
        parts << QString::fromStdString(p.name);
    return parts.join(QLatin1Char(' '));
}

} // namespace

QStringList passageFields()
{
    return {"area",       "mmsi",       "name",          "entry",          "exit",          "duration",
            "fixes",      "speedMin",   "speedMedian",   "speedMax",       "entrySide",     "exitSide",
            "bearing",    "entryLatitude", "entryLongitude", "exitLatitude", "exitLongitude", "stopped"};
}

QStringList passageValues(const Passage &p, std::optional<int> utcOffsetMinutes)
{
    const std::optional<long long> duration = p.duration();
    return {areaLetter(p.area),
            QString::fromStdString(p.mmsi),
            QString::fromStdString(p.name),
            passageTime(p.entryDate, p.entrySeconds, utcOffsetMinutes),
            passageTime(p.exitDate, p.exitSeconds, utcOffsetMinutes),
            duration ? QString::number(*duration) : QString(),
            QString::number(p.fixes),
            optionalNumber(p.speedMin),
            optionalNumber(p.speedMedian),
            optionalNumber(p.speedMax),
            sideText(p.entrySide),
            sideText(p.exitSide),
            p.bearing ? QString::number(std::round(*p.bearing * 10) / 10, 'f', 1) : QString(),
            number(p.entry.latitude),
            number(p.entry.longitude),
            number(p.exit.latitude),
            number(p.exit.longitude),
            p.stopped ? QStringLiteral("yes") : QStringLiteral("no")};
}

QByteArray formatPassages(const std::vector<Passage> &passages, PassageFormat format,
                          std::optional<int> utcOffsetMinutes)
{
    QByteArray out;
    switch (format) {
    case PassageFormat::Text:
        for (const Passage &p : passages)
            out += textLine(p, utcOffsetMinutes).toUtf8() + '\n';
        break;
    case PassageFormat::Csv:
        out += passageFields().join(QLatin1Char(',')).toUtf8() + "\r\n";
        for (const Passage &p : passages) {
            QStringList values = passageValues(p, utcOffsetMinutes);
            for (QString &v : values)
                v = csvField(v);
            out += values.join(QLatin1Char(',')).toUtf8() + "\r\n";
        }
        break;
    case PassageFormat::Jsonl:
        for (const Passage &p : passages)
            out += QJsonDocument(jsonProperties(p, utcOffsetMinutes)).toJson(QJsonDocument::Compact) + '\n';
        break;
    case PassageFormat::GeoJson: {
        out += "{\"type\":\"FeatureCollection\",\"features\":[\n";
        bool first = true;
        for (const Passage &p : passages) {
            QJsonArray coordinates;
            for (const PassagePoint &point : p.points)
                coordinates.append(QJsonArray{point.longitude, point.latitude});
            // One fix makes no line.
            const QJsonObject geometry =
                coordinates.size() >= 2
                    ? QJsonObject{{"type", "LineString"}, {"coordinates", coordinates}}
                    : QJsonObject{{"type", "Point"}, {"coordinates", QJsonArray{p.entry.longitude, p.entry.latitude}}};
            const QJsonObject feature{
                {"type", "Feature"}, {"geometry", geometry}, {"properties", jsonProperties(p, utcOffsetMinutes)}};
            if (!first)
                out += ",\n";
            first = false;
            out += QJsonDocument(feature).toJson(QJsonDocument::Compact);
        }
        out += "\n]}\n";
        break;
    }
    }
    return out;
}

QByteArray formatCounts(const std::vector<PassageCount> &counts, PassageFormat format)
{
    QByteArray out;
    if (format == PassageFormat::Csv)
        out += "bucket,area,entrySide,exitSide,passages\r\n";
    for (const PassageCount &c : counts) {
        if (format == PassageFormat::Csv) {
            out += QStringLiteral("%1,%2,%3,%4,%5\r\n")
                       .arg(c.bucket, areaLetter(c.area), sideText(c.entrySide), sideText(c.exitSide))
                       .arg(c.passages)
                       .toUtf8();
        } else {
            out += QStringLiteral("%1 %2 %3->%4 %5\n")
                       .arg(c.bucket, -13)
                       .arg(areaLetter(c.area), sideText(c.entrySide), sideText(c.exitSide))
                       .arg(c.passages, 6)
                       .toUtf8();
        }
    }
    return out;
}

} // namespace Module1

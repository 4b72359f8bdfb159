// The station report as text, CSV, JSON, and its range outline as GeoJSON
// and KML. Every number is formatted here with fixed decimals, so that the
// same figures give the same bytes.
#include "engine/report.h"

#include "engine/text.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cmath>

namespace Module1 {

namespace {

QString num(double v, int decimals)
{
    return QString::number(v, 'f', decimals);
}

QString day(const QDate &d)
{
    return d.toString(QStringLiteral("yyyy-MM-dd"));
}

QString stamp(const QDateTime &t)
{
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString clock(int second)
{
    return second < 0 ? QStringLiteral("--:--:--") : QTime(0, 0).addSecs(second).toString(QStringLiteral("HH:mm:ss"));
}

QString length(qint64 seconds)
{
    const qint64 h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
}

const char *stretchKind(SilentStretch::Kind k)
{
    switch (k) {
    case SilentStretch::Kind::NothingHeard: return "nothing heard";
    case SilentStretch::Kind::FixedOnly: return "no ships, fixed stations heard";
    case SilentStretch::Kind::NoLog: return "no day log";
    case SilentStretch::Kind::NotRead: return "day log not read";
    }
    return "";
}

QString stretchNote(const SilentStretch &s)
{
    QStringList notes;
    if (s.fromPeriodStart && s.kind != SilentStretch::Kind::NoLog && s.kind != SilentStretch::Kind::NotRead)
        notes << QStringLiteral("from the period's start or a day without log");
    if (s.toPeriodEnd)
        notes << QStringLiteral("to the period's end");
    return notes.join(QStringLiteral(", "));
}

QString sectorName(int k)
{
    return QStringLiteral("%1-%2").arg(k * 5, 3, 10, QLatin1Char('0')).arg(k * 5 + 5, 3, 10, QLatin1Char('0'));
}

const char *const kRejectionNames[] = {"not on the globe", "without a time", "too fast", "beyond the range"};

QString stationLine(const StationReport &r)
{
    if (!r.options.station)
        return QStringLiteral("Station position not given: range needs --station LAT,LON or VELKAIS_STATION=LAT,LON "
                              "(in the window, the report's station field or a right click on the map).");
    return QStringLiteral("Station %1, %2; positions within %3 nm")
        .arg(num(r.options.station->latitude, 5), num(r.options.station->longitude, 5), num(r.options.maxRangeNm, 1));
}

// A day's 144 ten-minute counts as one line: "-" for none, 1 to 9 by the
// share of the period's busiest ten minutes.
QString stripLine(const DayLine &d, std::uint32_t busiest)
{
    QString line;
    if (d.state != DayLine::State::Read)
        return QString(144, QLatin1Char(' '));
    for (std::uint32_t c : d.tenMinutes)
        line += c == 0 ? QLatin1Char('-') : QChar(QLatin1Char('0' + std::min<int>(9, int(1 + (8ull * c) / std::max(1u, busiest)))));
    return line;
}

void textOne(QString &out, const StationReport &r, bool listRejected)
{
    out += QStringLiteral("Station report %1 to %2: %3 days, %4 read\n").arg(day(r.first), day(r.last)).arg(r.days.size()).arg(r.daysRead());
    out += stationLine(r) + QLatin1Char('\n');
    out += QStringLiteral("Records: %1 (%2 without a time)\n").arg(r.records).arg(r.untimed);
    QStringList kinds;
    for (int k = 0; k < kMmsiKinds; ++k)
        kinds << QStringLiteral("%1 %2").arg(QLatin1String(mmsiKindName(MmsiKind(k)))).arg(r.distinctByKind[k]);
    out += QStringLiteral("Distinct MMSIs: %1 (%2)\n").arg(r.distinct).arg(kinds.join(QStringLiteral(", ")));
    if (!r.fixedStationsHeard)
        out += QStringLiteral("No base station or aid to navigation was heard in the period: a stretch without "
                              "ships cannot be told from a receiver that heard nothing.\n");

    out += QStringLiteral("\nDays: records, distinct MMSIs (ships, base stations, aids to navigation, SAR aircraft, "
                          "other), records per 10 minutes from 00:00 (- none, 1-9 busy)\n");
    std::uint32_t busiest = 0;
    for (const DayLine &d : r.days)
        for (std::uint32_t c : d.tenMinutes)
            busiest = std::max(busiest, c);
    for (const DayLine &d : r.days) {
        if (d.state != DayLine::State::Read) {
            out += QStringLiteral("%1  %2\n").arg(day(d.date), QLatin1String(d.state == DayLine::State::NoLog ? "no day log" : "day log not read"));
            continue;
        }
        QStringList k;
        for (int i = 0; i < kMmsiKinds; ++i)
            k << QString::number(d.distinctByKind[i]);
        out += QStringLiteral("%1 %2 %3 %4  %5\n")
                   .arg(day(d.date))
                   .arg(d.records, 8)
                   .arg(d.distinct, 5)
                   .arg(QLatin1Char('(') + k.join(QLatin1Char(' ')) + QLatin1Char(')'), -16)
                   .arg(stripLine(d, busiest));
    }

    out += QStringLiteral("\nSilent periods of %1 minutes or more\n").arg(r.options.silenceMinutes);
    if (r.silences.empty())
        out += QStringLiteral("none\n");
    for (const SilentStretch &s : r.silences) {
        const QString note = stretchNote(s);
        out += QStringLiteral("%1 to %2  %3  %4%5\n")
                   .arg(stamp(s.start), stamp(s.end), length(s.seconds()).rightJustified(9))
                   .arg(QLatin1String(stretchKind(s.kind)))
                   .arg(note.isEmpty() ? QString() : QStringLiteral(" (") + note + QLatin1Char(')'));
    }

    if (r.hasRange) {
        out += QStringLiteral("\nRange by sector of bearing from the station\n"
                              "sector   positions    max nm   max km   p95 nm  farthest: MMSI     date       time\n");
        for (int k = 0; k < kSectors; ++k) {
            const SectorRange &s = r.sectors[std::size_t(k)];
            if (!s.positions) {
                out += QStringLiteral("%1  %2\n").arg(sectorName(k)).arg(0, 10);
                continue;
            }
            out += QStringLiteral("%1  %2  %3  %4  %5  %6 %7 %8\n")
                       .arg(sectorName(k))
                       .arg(s.positions, 10)
                       .arg(num(s.maxNm, 1), 8)
                       .arg(num(s.maxNm * kKmPerNauticalMile, 1), 7)
                       .arg(num(s.p95Nm, 1), 7)
                       .arg(toQString(s.mmsi), -9)
                       .arg(day(s.date), clock(s.second));
        }
    }
    QStringList counts;
    for (int i = 0; i < 4; ++i)
        counts << QStringLiteral("%1 %2").arg(r.rejectedCounts[std::size_t(i)]).arg(QLatin1String(kRejectionNames[i]));
    out += QStringLiteral("\nPositions left out: %1\n").arg(counts.join(QStringLiteral(", ")));
    if (listRejected) {
        for (const RejectedLine &x : r.rejected)
            out += QStringLiteral("%1 %2 %3 %4,%5 x%6: %7\n")
                       .arg(day(x.date), clock(x.second), toQString(x.mmsi), num(x.position.latitude, 5),
                            num(x.position.longitude, 5))
                       .arg(x.count)
                       .arg(x.reason);
    }
}

QString signedNum(double v, int decimals)
{
    return (v > 0 ? QStringLiteral("+") : QString()) + num(v, decimals);
}

void textCompare(QString &out, const StationReport &a, const StationReport &b)
{
    out += QStringLiteral("\nComparison: %1 to %2 (A) and %3 to %4 (B), B minus A\n")
               .arg(day(a.first), day(a.last), day(b.first), day(b.last));
    out += QStringLiteral("records per day      %1  %2  %3\n")
               .arg(num(a.recordsPerDay(), 1), 10).arg(num(b.recordsPerDay(), 1), 10).arg(signedNum(b.recordsPerDay() - a.recordsPerDay(), 1), 10);
    out += QStringLiteral("ships per day        %1  %2  %3\n")
               .arg(num(a.shipsPerDay(), 1), 10).arg(num(b.shipsPerDay(), 1), 10).arg(signedNum(b.shipsPerDay() - a.shipsPerDay(), 1), 10);
    out += QStringLiteral("silent minutes       %1  %2  %3\n")
               .arg(a.silentSeconds() / 60, 10).arg(b.silentSeconds() / 60, 10).arg(signedNum(double(b.silentSeconds() / 60 - a.silentSeconds() / 60), 0), 10);
    if (!a.hasRange)
        return;
    out += QStringLiteral("sector    A max nm  B max nm      diff  A p95 nm  B p95 nm      diff\n");
    for (int k = 0; k < kSectors; ++k) {
        const SectorRange &x = a.sectors[std::size_t(k)], &y = b.sectors[std::size_t(k)];
        out += QStringLiteral("%1  %2  %3  %4  %5  %6  %7\n")
                   .arg(sectorName(k))
                   .arg(num(x.maxNm, 1), 8).arg(num(y.maxNm, 1), 8).arg(signedNum(y.maxNm - x.maxNm, 1), 8)
                   .arg(num(x.p95Nm, 1), 8).arg(num(y.p95Nm, 1), 8).arg(signedNum(y.p95Nm - x.p95Nm, 1), 8);
    }
}

QString csvField(const QString &s)
{
    if (!s.contains(QLatin1Char(',')) && !s.contains(QLatin1Char('"')))
        return s;
    QString q = s;
    q.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

void csvOne(QString &out, const StationReport &r, const QString &label, bool listRejected)
{
    out += QStringLiteral("days,period,date,state,records,untimed,mmsis,ships,base_stations,aids_to_navigation,sar_aircraft,other\n");
    for (const DayLine &d : r.days) {
        static const char *const states[] = {"read", "no log", "not read"};
        out += QStringLiteral("days,%1,%2,%3,%4,%5,%6").arg(label, day(d.date), QLatin1String(states[int(d.state)])).arg(d.records).arg(d.untimed).arg(d.distinct);
        for (int k = 0; k < kMmsiKinds; ++k)
            out += QLatin1Char(',') + QString::number(d.distinctByKind[k]);
        out += QLatin1Char('\n');
    }
    out += QStringLiteral("\nstrip,period,date");
    for (int i = 0; i < 144; ++i)
        out += QStringLiteral(",%1%2").arg(i / 6, 2, 10, QLatin1Char('0')).arg((i % 6) * 10, 2, 10, QLatin1Char('0'));
    out += QLatin1Char('\n');
    for (const DayLine &d : r.days) {
        if (d.state != DayLine::State::Read)
            continue;
        out += QStringLiteral("strip,%1,%2").arg(label, day(d.date));
        for (std::uint32_t c : d.tenMinutes)
            out += QLatin1Char(',') + QString::number(c);
        out += QLatin1Char('\n');
    }
    out += QStringLiteral("\nhours,period,date");
    for (int h = 0; h < 24; ++h)
        out += QStringLiteral(",%1").arg(h, 2, 10, QLatin1Char('0'));
    out += QLatin1Char('\n');
    for (const DayLine &d : r.days) {
        if (d.state != DayLine::State::Read)
            continue;
        out += QStringLiteral("hours,%1,%2").arg(label, day(d.date));
        for (int n : d.distinctPerHour)
            out += QLatin1Char(',') + QString::number(n);
        out += QLatin1Char('\n');
    }
    out += QStringLiteral("\nsilences,period,start,end,seconds,what,from_period_start,to_period_end\n");
    for (const SilentStretch &s : r.silences)
        out += QStringLiteral("silences,%1,%2,%3,%4,%5,%6,%7\n")
                   .arg(label, stamp(s.start), stamp(s.end))
                   .arg(s.seconds())
                   .arg(csvField(QLatin1String(stretchKind(s.kind))))
                   .arg(int(s.fromPeriodStart))
                   .arg(int(s.toPeriodEnd));
    if (r.hasRange) {
        out += QStringLiteral("\nrange,period,sector_from,sector_to,positions,max_nm,max_km,p95_nm,mmsi,date,time,latitude,longitude\n");
        for (int k = 0; k < kSectors; ++k) {
            const SectorRange &s = r.sectors[std::size_t(k)];
            out += QStringLiteral("range,%1,%2,%3,%4,%5,%6,%7,%8,%9,%10,%11,%12\n")
                       .arg(label)
                       .arg(k * 5)
                       .arg(k * 5 + 5)
                       .arg(s.positions)
                       .arg(num(s.maxNm, 2), num(s.maxNm * kKmPerNauticalMile, 2), num(s.p95Nm, 2),
                            toQString(s.mmsi), s.positions ? day(s.date) : QString(), s.positions ? clock(s.second) : QString(),
                            s.positions ? num(s.farthest.latitude, 5) : QString())
                       .arg(s.positions ? num(s.farthest.longitude, 5) : QString());
        }
    }
    if (listRejected) {
        out += QStringLiteral("\nrejected,period,date,time,mmsi,latitude,longitude,count,reason\n");
        for (const RejectedLine &x : r.rejected)
            out += QStringLiteral("rejected,%1,%2,%3,%4,%5,%6,%7,%8\n")
                       .arg(label, day(x.date), clock(x.second), toQString(x.mmsi), num(x.position.latitude, 5),
                            num(x.position.longitude, 5))
                       .arg(x.count)
                       .arg(csvField(x.reason));
    }
}

QJsonObject jsonOne(const StationReport &r, bool listRejected)
{
    QJsonObject o;
    o[QStringLiteral("from")] = day(r.first);
    o[QStringLiteral("to")] = day(r.last);
    if (r.options.station)
        o[QStringLiteral("station")] = QJsonArray{r.options.station->latitude, r.options.station->longitude};
    o[QStringLiteral("records")] = double(r.records);
    o[QStringLiteral("untimed_records")] = double(r.untimed);
    QJsonObject kinds;
    for (int k = 0; k < kMmsiKinds; ++k)
        kinds[QLatin1String(mmsiKindName(MmsiKind(k)))] = r.distinctByKind[k];
    o[QStringLiteral("distinct_mmsis")] = r.distinct;
    o[QStringLiteral("distinct_by_kind")] = kinds;
    o[QStringLiteral("fixed_stations_heard")] = r.fixedStationsHeard;
    QJsonArray days;
    for (const DayLine &d : r.days) {
        static const char *const states[] = {"read", "no log", "not read"};
        QJsonObject j;
        j[QStringLiteral("date")] = day(d.date);
        j[QStringLiteral("state")] = QLatin1String(states[int(d.state)]);
        if (d.state == DayLine::State::Read) {
            j[QStringLiteral("records")] = double(d.records);
            j[QStringLiteral("untimed_records")] = double(d.untimed);
            j[QStringLiteral("distinct_mmsis")] = d.distinct;
            QJsonArray k, strip, hours;
            for (int n : d.distinctByKind)
                k.append(n);
            for (std::uint32_t c : d.tenMinutes)
                strip.append(double(c));
            for (int n : d.distinctPerHour)
                hours.append(n);
            j[QStringLiteral("distinct_by_kind")] = k;
            j[QStringLiteral("records_per_10_minutes")] = strip;
            j[QStringLiteral("distinct_per_hour")] = hours;
        }
        days.append(j);
    }
    o[QStringLiteral("days")] = days;
    QJsonArray silent;
    for (const SilentStretch &s : r.silences)
        silent.append(QJsonObject{{QStringLiteral("start"), stamp(s.start)},
                                  {QStringLiteral("end"), stamp(s.end)},
                                  {QStringLiteral("seconds"), double(s.seconds())},
                                  {QStringLiteral("what"), QLatin1String(stretchKind(s.kind))},
                                  {QStringLiteral("from_period_start"), s.fromPeriodStart},
                                  {QStringLiteral("to_period_end"), s.toPeriodEnd}});
    o[QStringLiteral("silences")] = silent;
    if (r.hasRange) {
        QJsonArray sectors;
        for (int k = 0; k < kSectors; ++k) {
            const SectorRange &s = r.sectors[std::size_t(k)];
            QJsonObject j{{QStringLiteral("from"), k * 5}, {QStringLiteral("to"), k * 5 + 5},
                          {QStringLiteral("positions"), double(s.positions)}};
            if (s.positions) {
                j[QStringLiteral("max_nm")] = std::round(s.maxNm * 100) / 100;
                j[QStringLiteral("max_km")] = std::round(s.maxNm * kKmPerNauticalMile * 100) / 100;
                j[QStringLiteral("p95_nm")] = std::round(s.p95Nm * 100) / 100;
                j[QStringLiteral("mmsi")] = toQString(s.mmsi);
                j[QStringLiteral("date")] = day(s.date);
                j[QStringLiteral("time")] = clock(s.second);
                j[QStringLiteral("position")] = QJsonArray{s.farthest.latitude, s.farthest.longitude};
            }
            sectors.append(j);
        }
        o[QStringLiteral("range")] = sectors;
    }
    QJsonObject left;
    for (int i = 0; i < 4; ++i)
        left[QLatin1String(kRejectionNames[i])] = double(r.rejectedCounts[std::size_t(i)]);
    o[QStringLiteral("positions_left_out")] = left;
    if (listRejected) {
        QJsonArray list;
        for (const RejectedLine &x : r.rejected)
            list.append(QJsonObject{{QStringLiteral("date"), day(x.date)},
                                    {QStringLiteral("time"), clock(x.second)},
                                    {QStringLiteral("mmsi"), toQString(x.mmsi)},
                                    {QStringLiteral("position"), QJsonArray{x.position.latitude, x.position.longitude}},
                                    {QStringLiteral("count"), double(x.count)},
                                    {QStringLiteral("reason"), x.reason}});
        o[QStringLiteral("rejected")] = list;
    }
    return o;
}

QJsonArray ring(const std::vector<GeoPoint> &points)
{
    QJsonArray a;
    for (const GeoPoint &p : points)
        a.append(QJsonArray{std::round(p.longitude * 1e6) / 1e6, std::round(p.latitude * 1e6) / 1e6});
    return a;
}

} // namespace

QByteArray reportText(const StationReport &report, const StationReport *compare, bool listRejected)
{
    QString out;
    textOne(out, report, listRejected);
    if (compare) {
        out += QLatin1Char('\n');
        textOne(out, *compare, listRejected);
        textCompare(out, report, *compare);
    }
    return out.toUtf8();
}

QByteArray reportCsv(const StationReport &report, const StationReport *compare, bool listRejected)
{
    QString out;
    csvOne(out, report, QStringLiteral("A"), listRejected);
    if (compare) {
        out += QLatin1Char('\n');
        csvOne(out, *compare, QStringLiteral("B"), listRejected);
    }
    return out.toUtf8();
}

QByteArray reportJson(const StationReport &report, const StationReport *compare, bool listRejected)
{
    QJsonObject o = jsonOne(report, listRejected);
    if (compare) {
        QJsonObject b = jsonOne(*compare, listRejected);
        o = QJsonObject{{QStringLiteral("A"), o}, {QStringLiteral("B"), b}};
    }
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

QByteArray outlineGeoJson(const StationReport &report, const StationReport *compare)
{
    QJsonArray features;
    const auto add = [&](const StationReport &r, const QString &period) {
        for (const bool p95 : {false, true}) {
            QJsonObject geometry{{QStringLiteral("type"), QStringLiteral("Polygon")},
                                 {QStringLiteral("coordinates"), QJsonArray{ring(rangeOutline(r, p95))}}};
            QJsonObject props{{QStringLiteral("name"), QStringLiteral("%1 %2 to %3").arg(p95 ? QStringLiteral("95th percentile") : QStringLiteral("maximum"), day(r.first), day(r.last))},
                              {QStringLiteral("period"), period},
                              {QStringLiteral("measure"), p95 ? QStringLiteral("p95") : QStringLiteral("max")}};
            features.append(QJsonObject{{QStringLiteral("type"), QStringLiteral("Feature")},
                                        {QStringLiteral("geometry"), geometry},
                                        {QStringLiteral("properties"), props}});
        }
    };
    if (report.hasRange)
        add(report, QStringLiteral("A"));
    if (compare && compare->hasRange)
        add(*compare, QStringLiteral("B"));
    if (report.hasRange) {
        const GeoPoint st = *report.options.station;
        features.append(QJsonObject{
            {QStringLiteral("type"), QStringLiteral("Feature")},
            {QStringLiteral("geometry"), QJsonObject{{QStringLiteral("type"), QStringLiteral("Point")},
                                                     {QStringLiteral("coordinates"), QJsonArray{st.longitude, st.latitude}}}},
            {QStringLiteral("properties"), QJsonObject{{QStringLiteral("name"), QStringLiteral("station")}}}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("type"), QStringLiteral("FeatureCollection")},
                                     {QStringLiteral("features"), features}})
        .toJson(QJsonDocument::Indented);
}

QByteArray outlineKml(const StationReport &report, const StationReport *compare)
{
    QString out = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document>\n<name>Station range</name>\n"
                                 "<Style id=\"max\"><LineStyle><color>ff0000ff</color><width>2</width></LineStyle>"
                                 "<PolyStyle><fill>0</fill></PolyStyle></Style>\n"
                                 "<Style id=\"p95\"><LineStyle><color>ff00a5ff</color><width>2</width></LineStyle>"
                                 "<PolyStyle><fill>0</fill></PolyStyle></Style>\n"
                                 "<Style id=\"maxB\"><LineStyle><color>ffff0000</color><width>2</width></LineStyle>"
                                 "<PolyStyle><fill>0</fill></PolyStyle></Style>\n"
                                 "<Style id=\"p95B\"><LineStyle><color>ffffff00</color><width>2</width></LineStyle>"
                                 "<PolyStyle><fill>0</fill></PolyStyle></Style>\n");
    const auto add = [&](const StationReport &r, const QString &suffix) {
        for (const bool p95 : {false, true}) {
            out += QStringLiteral("<Placemark><name>%1 %2 to %3</name><styleUrl>#%4%5</styleUrl>"
                                  "<Polygon><outerBoundaryIs><LinearRing><coordinates>")
                       .arg(p95 ? QStringLiteral("95th percentile") : QStringLiteral("maximum"), day(r.first), day(r.last),
                            p95 ? QStringLiteral("p95") : QStringLiteral("max"), suffix);
            QStringList points;
            for (const GeoPoint &p : rangeOutline(r, p95))
                points << num(p.longitude, 6) + QLatin1Char(',') + num(p.latitude, 6);
            out += points.join(QLatin1Char(' ')) + QStringLiteral("</coordinates></LinearRing></outerBoundaryIs></Polygon></Placemark>\n");
        }
    };
    if (report.hasRange) {
        add(report, QString());
        const GeoPoint st = *report.options.station;
        out += QStringLiteral("<Placemark><name>station</name><Point><coordinates>%1,%2</coordinates></Point></Placemark>\n")
                   .arg(num(st.longitude, 6), num(st.latitude, 6));
    }
    if (compare && compare->hasRange)
        add(*compare, QStringLiteral("B"));
    return (out + QStringLiteral("</Document>\n</kml>\n")).toUtf8();
}

} // namespace Module1

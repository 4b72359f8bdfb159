#include "engine/report.h"

#include "engine/internal.h"
#include "engine/module1.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace Module1 {

std::optional<GeoPoint> parseStation(const QString &text)
{
    static const QRegularExpression number(QStringLiteral(R"(^\s*[+-]?(\d+\.?\d*|\.\d+)\s*$)"));
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 2 || !number.match(parts[0]).hasMatch() || !number.match(parts[1]).hasMatch())
        return std::nullopt;
    const GeoPoint p{parts[0].trimmed().toDouble(), parts[1].trimmed().toDouble()};
    if (std::abs(p.latitude) > 90 || std::abs(p.longitude) > 180)
        return std::nullopt;
    return p;
}

bool periodDates(const QString &from, const QString &to, const QDate &today, QDate &first, QDate &last)
{
    // The first name the period takes is --from filled up with zeros, the
    // last --to filled up with nines; months and days are brought into range.
    const auto date = [](const QString &text, QChar fill) {
        const QString t = text.left(8).leftJustified(8, fill);
        const int y = t.left(4).toInt(), m = std::clamp(t.mid(4, 2).toInt(), 1, 12);
        const QDate month(y, m, 1);
        const int d = std::clamp(t.mid(6, 2).toInt(), 1, month.isValid() ? month.daysInMonth() : 28);
        return QDate(y, m, d);
    };
    first = date(from, QLatin1Char('0'));
    last = date(to, QLatin1Char('9'));
    while (first.isValid() && first.toString(QStringLiteral("yyyyMMdd")) < from.left(8))
        first = first.addDays(1);
    while (last.isValid() && last.toString(QStringLiteral("yyyyMMdd")) > to)
        last = last.addDays(-1);
    if (last > today)
        last = today;
    return first.isValid() && last.isValid() && first <= last;
}

bool stationPass(PeriodFigures &figures)
{
    std::vector<detail::CollectedDay> collected;
    detail::g_collectedDays = &collected;
    const std::size_t stops = passReport.stops.size(), skipped = passReport.skipped.size();
    // Every day is collected (and stored) by the time the pass returns.
    const bool stopped = periodPass(QStringLiteral("Report"));
    detail::g_collectedDays = nullptr;
    for (detail::CollectedDay &day : collected) {
        const QDate date = QDate::fromString(day.fileName.left(8), QStringLiteral("yyyyMMdd"));
        if (date.isValid() && date >= figures.first && date <= figures.last)
            figures.days[date] = std::move(day.summary);
    }
    const auto markUnread = [&](const QString &path) {
        const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
        const QDate date = QDate::fromString(name.left(8), QStringLiteral("yyyyMMdd"));
        if (date.isValid() && !figures.days.count(date))
            figures.unread.insert(date);
    };
    for (std::size_t i = stops; i < passReport.stops.size(); ++i) {
        markUnread(logFolder + passReport.stops[i].fileName);
        for (const QString &path : passReport.stops[i].unread)
            markUnread(path);
    }
    for (std::size_t i = skipped; i < passReport.skipped.size(); ++i)
        markUnread(passReport.skipped[i].path);
    return stopped;
}

namespace {

constexpr double kBinsPerNm = 10; // the percentile's resolution

double cellCentre(std::int32_t cell)
{
    return (cell + 0.5) / kCellsPerDegree;
}

QDateTime at(const QDate &first, qint64 seconds)
{
    return QDateTime(first.addDays(seconds / 86400), QTime(0, 0).addSecs(int(seconds % 86400)));
}

void silences(const StationReport &r, const PeriodFigures &f, bool nonFixed, std::vector<SilentStretch> &out)
{
    const qint64 shortest = qint64(r.options.silenceMinutes) * 60;
    const QDate first = f.first;
    const auto add = [&](qint64 a, qint64 b, bool fromStart, bool toEnd) {
        if (b - a >= shortest)
            out.push_back({nonFixed ? SilentStretch::Kind::FixedOnly : SilentStretch::Kind::NothingHeard,
                           at(first, a), at(first, b), fromStart, toEnd});
    };
    qint64 start = 0;
    bool open = true;
    qint64 end = 0;
    for (const DayLine &day : r.days) {
        const qint64 base = first.daysTo(day.date) * 86400;
        end = base + (f.now.isValid() && day.date == f.now.date() ? f.now.time().msecsSinceStartOfDay() / 1000 : 86400);
        if (day.state != DayLine::State::Read) {
            add(start, base, open, false);
            start = base + 86400;
            open = true;
            continue;
        }
        const StationDay &s = f.days.at(day.date).station;
        const Hearing &h = nonFixed ? s.nonFixed : s.all;
        if (h.first < 0)
            continue;
        add(start, base + h.first, open, false);
        for (const auto &[a, b] : h.gaps)
            add(base + a, base + b, false, false);
        start = base + h.last;
        open = false;
    }
    if (!r.days.empty() && r.days.back().state == DayLine::State::Read)
        add(start, std::max(start, end), open, true);
}

} // namespace

int StationReport::daysRead() const
{
    return int(std::count_if(days.begin(), days.end(), [](const DayLine &d) { return d.state == DayLine::State::Read; }));
}

double StationReport::recordsPerDay() const
{
    return daysRead() ? double(records) / daysRead() : 0;
}

double StationReport::shipsPerDay() const
{
    long long ships = 0;
    for (const DayLine &d : days)
        ships += d.distinctByKind[int(MmsiKind::Ship)];
    return daysRead() ? double(ships) / daysRead() : 0;
}

qint64 StationReport::silentSeconds() const
{
    qint64 total = 0;
    for (const SilentStretch &s : silences) {
        if (s.kind == SilentStretch::Kind::NothingHeard)
            total += s.seconds();
    }
    return total;
}

StationReport computeReport(const PeriodFigures &f, const ReportOptions &options)
{
    StationReport r;
    r.first = f.first;
    r.last = f.last;
    r.options = options;
    r.options.silenceMinutes = std::max(1, options.silenceMinutes);
    std::set<std::string> heard[kMmsiKinds];

    for (QDate date = f.first; date.isValid() && date <= f.last; date = date.addDays(1)) {
        DayLine line;
        line.date = date;
        const auto it = f.days.find(date);
        if (it == f.days.end()) {
            line.state = f.unread.count(date) ? DayLine::State::NotRead : DayLine::State::NoLog;
            r.days.push_back(line);
            continue;
        }
        line.state = DayLine::State::Read;
        const DaySummary &d = it->second;
        line.tenMinutes = d.station.tenMinutes;
        line.untimed = d.station.untimed;
        for (const ShipSummary &s : d.ships) {
            const MmsiKind kind = mmsiKind(s.mmsi);
            line.records += s.records;
            ++line.distinctByKind[int(kind)];
            heard[int(kind)].insert(s.mmsi);
            r.fixedStationsHeard |= isFixedStation(kind);
            for (int h = 0; h < 24; ++h)
                line.distinctPerHour[h] += (s.hours >> h) & 1;
        }
        line.distinct = int(d.ships.size());
        r.records += line.records;
        r.untimed += line.untimed;
        r.days.push_back(line);
    }
    for (int k = 0; k < kMmsiKinds; ++k) {
        r.distinctByKind[k] = int(heard[k].size());
        r.distinct += r.distinctByKind[k];
    }

    silences(r, f, false, r.silences);
    std::vector<SilentStretch> noShips;
    silences(r, f, true, noShips);
    for (const SilentStretch &s : noShips) {
        // Where nothing at all was heard it says so already.
        const bool same = std::any_of(r.silences.begin(), r.silences.end(), [&](const SilentStretch &t) {
            return t.start == s.start && t.end == s.end;
        });
        if (!same)
            r.silences.push_back(s);
    }
    for (std::size_t i = 0; i < r.days.size();) {
        const DayLine::State state = r.days[i].state;
        std::size_t j = i + 1;
        if (state != DayLine::State::Read) {
            while (j < r.days.size() && r.days[j].state == state)
                ++j;
            SilentStretch s;
            s.kind = state == DayLine::State::NoLog ? SilentStretch::Kind::NoLog : SilentStretch::Kind::NotRead;
            s.start = QDateTime(r.days[i].date, QTime(0, 0));
            s.end = QDateTime(r.days[j - 1].date.addDays(1), QTime(0, 0));
            r.silences.push_back(s);
        }
        i = j;
    }
    std::stable_sort(r.silences.begin(), r.silences.end(), [](const SilentStretch &a, const SilentStretch &b) {
        if (a.start != b.start)
            return a.start < b.start;
        return a.end != b.end ? a.end > b.end : int(a.kind) < int(b.kind);
    });

    // Rejections by the rule of each fix, in date order.
    static const char *const kWhy[] = {"not on the globe", "without a time"};
    for (const auto &[date, d] : f.days) {
        for (const RejectedFix &x : d.station.rejected) {
            ++r.rejectedCounts[int(x.reason)];
            QString why = x.reason == Rejection::TooFast
                              ? QStringLiteral("%1 kn from the ship's previous fix").arg(double(x.knots), 0, 'f', 0)
                              : QString::fromLatin1(kWhy[int(x.reason)]);
            r.rejected.push_back({date, x.ship < d.ships.size() ? d.ships[x.ship].mmsi : std::string(), x.second,
                                  {x.latitude, x.longitude}, 1, why});
        }
    }
    if (!options.station)
        return r;

    r.hasRange = true;
    const GeoPoint st = *options.station;
    std::array<std::vector<long long>, kSectors> bins;
    for (const auto &[date, d] : f.days) {
        for (const RangeCell &c : d.station.range) {
            const GeoPoint p{cellCentre(cellLatitude(c.cell)), cellCentre(cellLongitude(c.cell))};
            const double nm = distanceNm(st.latitude, st.longitude, p.latitude, p.longitude);
            const std::string mmsi = c.ship < d.ships.size() ? d.ships[c.ship].mmsi : std::string();
            if (!(nm <= r.options.maxRangeNm)) {
                r.rejectedCounts[3] += c.count;
                r.rejected.push_back({date, mmsi, c.second, p, c.count,
                                      QStringLiteral("%1 nm from the station, beyond %2")
                                          .arg(nm, 0, 'f', 1)
                                          .arg(r.options.maxRangeNm)});
                continue;
            }
            // A bearing a hair below a sector's edge is taken as on it: the
            // rounding of the trigonometry must not decide a sector.
            const double b = bearingDegrees(st.latitude, st.longitude, p.latitude, p.longitude);
            const int sector = int(std::floor(b / 5 + 1e-9)) % kSectors;
            SectorRange &s = r.sectors[std::size_t(sector)];
            s.positions += c.count;
            r.positions += c.count;
            if (nm > s.maxNm || s.mmsi.empty()) {
                s.maxNm = nm;
                s.farthest = p;
                s.mmsi = mmsi;
                s.date = date;
                s.second = c.second;
            }
            std::vector<long long> &h = bins[std::size_t(sector)];
            const std::size_t bin = std::size_t(nm * kBinsPerNm);
            if (h.size() <= bin)
                h.resize(bin + 1);
            h[bin] += c.count;
        }
    }
    for (int k = 0; k < kSectors; ++k) {
        SectorRange &s = r.sectors[std::size_t(k)];
        if (!s.positions)
            continue;
        // Nearest rank: the distance within which 95 % of the positions lie.
        const long long rank = (s.positions * 95 + 99) / 100;
        long long seen = 0;
        for (std::size_t bin = 0; bin < bins[std::size_t(k)].size(); ++bin) {
            seen += bins[std::size_t(k)][bin];
            if (seen >= rank) {
                s.p95Nm = std::min(s.maxNm, double(bin + 1) / kBinsPerNm);
                break;
            }
        }
    }
    std::stable_sort(r.rejected.begin(), r.rejected.end(),
                     [](const RejectedLine &a, const RejectedLine &b) { return a.date < b.date; });
    return r;
}

GeoPoint destination(const GeoPoint &from, double bearing, double nm)
{
    constexpr double rad = std::numbers::pi / 180;
    const double delta = nm * kKmPerNauticalMile / kEarthRadiusKm;
    const double p1 = from.latitude * rad, l1 = from.longitude * rad, t = bearing * rad;
    const double p2 = std::asin(std::sin(p1) * std::cos(delta) + std::cos(p1) * std::sin(delta) * std::cos(t));
    const double l2 = l1 + std::atan2(std::sin(t) * std::sin(delta) * std::cos(p1), std::cos(delta) - std::sin(p1) * std::sin(p2));
    double lon = l2 / rad;
    lon = std::fmod(lon + 540, 360) - 180;
    return {p2 / rad, lon};
}

std::vector<GeoPoint> rangeOutline(const StationReport &report, bool percentile)
{
    std::vector<GeoPoint> ring;
    if (!report.hasRange)
        return ring;
    const GeoPoint st = *report.options.station;
    for (int k = 0; k < kSectors; ++k) {
        const SectorRange &s = report.sectors[std::size_t(k)];
        const double nm = percentile ? s.p95Nm : s.maxNm;
        ring.push_back(destination(st, k * 5.0, nm));
        ring.push_back(destination(st, k * 5.0 + 5, nm));
    }
    ring.push_back(ring.front());
    return ring;
}

} // namespace Module1

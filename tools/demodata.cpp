#include "demodata.h"

#include <QDateTime>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QSaveFile>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace DemoData {
namespace {

// splitmix64: its sequence is fixed by its definition, unlike the standard
// library's distributions, so a seed gives the same files with any compiler.
class Rng
{
public:
    explicit Rng(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform(double lo = 0, double hi = 1) { return lo + (hi - lo) * double(next() >> 11) * 0x1.0p-53; }
    int below(int n) { return int(next() % std::uint64_t(n)); }
    bool chance(double p) { return uniform() < p; }
    template <typename T, std::size_t N>
    const T &pick(const T (&items)[N]) { return items[below(int(N))]; }

private:
    std::uint64_t m_state;
};

std::uint64_t mix(std::uint64_t a, std::uint64_t b)
{
    return Rng(a ^ Rng(b).next()).next();
}

struct Point
{
    double lat, lon;
};
using Path = std::vector<Point>;

// Flat-earth nautical miles: within a few miles of the station that is exact enough.
double miles(Point a, Point b)
{
    const double k = std::cos((a.lat + b.lat) / 2 * M_PI / 180);
    return std::hypot((b.lat - a.lat) * 60, (b.lon - a.lon) * 60 * k);
}

double length(const Path &path)
{
    double sum = 0;
    for (std::size_t i = 1; i < path.size(); ++i)
        sum += miles(path[i - 1], path[i]);
    return sum;
}

// The browser's three default areas: the Kanda berths (A), the Shin-Moji ferry
// berths (B) and the Hayatomo narrows of the strait (C).
const Point kAreaA{33.7761, 131.0082}, kAreaB{33.8714, 130.9956}, kAreaC{33.9683, 130.9747};
const Point kEastSea{33.900, 131.200};
// The routes keep to the water of GSHHG's full-resolution coast with room for
// each ship's own offset (up to 0.0012 degrees, about 130 m) and a berth's
// spread: westward from the Hayatomo narrows the channel runs south between
// Hikoshima and Moji, west past Hikoshima's south and out north-west into the
// Hibiki sea. The map test checks every point of a day against the coastline.
const Path kWestChannel = {{33.9712, 130.9711}, {33.9579, 130.9551}, {33.9151, 130.9268}, {33.9142, 130.9259},
                           {33.9121, 130.9234}, {33.9112, 130.9216}, {33.9095, 130.9151}, {33.9095, 130.9110},
                           {33.9112, 130.9051}, {33.9128, 130.9017}, {33.985, 130.800}};
const Point kEastChannel{33.9577, 131.1305};

Path joined(std::initializer_list<Path> parts)
{
    Path all;
    for (const Path &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Path reversed(Path path)
{
    std::reverse(path.begin(), path.end());
    return path;
}

// West (Hibiki sea) to east (Suo sea) through the strait.
const Path kFairway = joined({reversed(kWestChannel), {kAreaC, kEastChannel, kEastSea}});
const Path kToShinMoji = {kEastSea, {33.890, 131.080}, {33.878, 131.020}, kAreaB};
const Path kToKanda = {kEastSea, {33.840, 131.100}, {33.795, 131.040}, kAreaA};
// To a berth in the basin off Moji and Shimonoseki.
const Path kToMoji = {kEastSea, kEastChannel, kAreaC, {33.9647, 130.9633}, {33.9472, 130.9422}};
// From the anchorage off Moji westward through the strait; each ship's own
// anchor position goes in front.
const Path kFromAnchorage = joined({{{33.964, 131.030}, kAreaC}, kWestChannel});
const Path kPilotRound = {kAreaC, {33.975, 130.990}, {33.965, 131.000}, kAreaC};
// Small craft out of the basin to the narrows.
const Path kHarbour = {{33.950, 130.938}, {33.945, 130.945}, {33.9579, 130.9551}, {33.9712, 130.9711}};

enum class Kind { Through, Moji, ShinMoji, Kanda, Anchored, Pilot, SmallCraft };

struct Ship
{
    std::string mmsi, name, callSign, imo, type;
    Kind kind = Kind::Through;
    bool classB = false;
    double speed = 12, draught = 5;
    int length = 100;
    const char *underWay = "UNDER WAY USING ENGINE";
};

const char *const kMaru[] = {"SHINKO", "KANMON",   "HAKATA", "TOYO",   "NISSHO", "HOKUTO", "KYOKUYO", "SEIUN",
                             "TAIHO",  "ASAHI",    "FUKUJU", "EIKO",   "ZUIHO",  "SHOYO",  "KAIYO",   "MEIKO",
                             "HINODE", "TENYO",    "DAIWA",  "YAMATO", "HAKUHO", "KAISEI", "SUMIYOSHI", "KOTOBUKI"};
const char *const kForeign1[] = {"PAN",    "OCEAN",    "EASTERN", "SINOKOR", "KMTC",    "HYUNDAI", "GOLDEN",
                                 "GREAT",  "HAI YANG", "XIN",     "SUNNY",   "PACIFIC", "ORIENT",  "STAR"};
const char *const kForeign2[] = {"GLORY",  "HARMONY", "PUSAN",   "TOKYO", "VENUS", "PIONEER", "BRIGHT",
                                 "FORTUNE", "SPIRIT", "LUCKY",   "HOPE",  "DREAM", "ACE",     "LINK"};
const char *const kFerries[] = {"FERRY KITAKYU", "FERRY SETOUCHI", "FERRY HAMAYU", "FERRY SUOU"};
const char *const kSmallCraft[] = {"SEA BREEZE", "UMINEKO", "KAZE", "MIZUHO", "BLUE DOLPHIN", "HIKOSHIMA",
                                   "SAYORI", "TOBIUO"};
const char *const kForeignMid[] = {"440", "441", "412", "413", "351", "352", "353", "355",
                                   "370", "371", "477", "538", "563", "636"};
const char *const kCallPrefix[] = {"3E", "3F", "H3", "D5", "V7", "9V", "VR", "DS", "BO", "HP"};
const char *const kEastward[] = {"OSAKA", "KOBE", "NAGOYA", "TOKYO", "MIZUSHIMA", "TOKUYAMA", "JP UBJ", "SAKAI"};
const char *const kWestward[] = {"BUSAN", "KR PUS", "SHANGHAI", "QINGDAO", "DALIAN", "HAKATA", "ULSAN",
                                 "KAOHSIUNG", "SINGAPORE", "TIANJIN"};
const char *const kShoreTexts[] = {
    "SECURITE, FOG IN KANMON STRAIT, VIS 0.5NM",
    "KANMON MARTIS: KEEP SAFE SPEED IN HAYATOMO SETO",
    "TIDAL CURRENT 6KT WEST, USE CAUTION",
    "DREDGING WORKS NEAR MOJI-SAKI, PASS WITH CARE",
    "EASTBOUND TRAFFIC HOLD AT ROKUREN",
    "BUOY NO.3 UNLIT",
};
const char *const kShipTexts[] = {"PILOT REQUIRED AT 1400", "ROGER, THANK YOU", "ETA AMENDED",
                                  "REQUEST BERTH INFO", "GOOD MORNING, CAPT.", "WILL CALL CH16"};
const char kBaseStation[] = "004310602";

std::string digits(Rng &r, int n)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s += char('0' + r.below(10));
    return s;
}

std::vector<Ship> buildFleet(const Options &options)
{
    Rng r(mix(options.seed, 0xF1EE7));
    std::set<std::string> mmsis, names;
    std::vector<Ship> fleet(std::size_t(fleetSize(options)));
    for (std::size_t i = 0; i < fleet.size(); ++i) {
        Ship &s = fleet[i];
        s.kind = i == 0 ? Kind::Pilot : i <= 2 ? Kind::ShinMoji : i == 3 ? Kind::Kanda : Kind::Through;
        if (i > 3) {
            const double k = r.uniform();
            s.kind = k < 0.62 ? Kind::Through : k < 0.74 ? Kind::Moji : k < 0.78 ? Kind::Kanda
                   : k < 0.86 ? Kind::Anchored : Kind::SmallCraft;
        }
        const bool japanese = s.kind == Kind::Pilot || s.kind == Kind::ShinMoji || s.kind == Kind::SmallCraft ||
                              r.chance(0.45);
        s.classB = s.kind == Kind::SmallCraft;
        for (int tries = 0; tries < 50 && (s.name.empty() || names.count(s.name)); ++tries) {
            if (s.kind == Kind::Pilot)
                s.name = "KANMON PILOT NO." + std::to_string(1 + r.below(9));
            else if (s.kind == Kind::ShinMoji)
                s.name = r.pick(kFerries);
            else if (s.classB)
                s.name = r.pick(kSmallCraft);
            else if (japanese)
                s.name = std::string(r.pick(kMaru)) + " MARU" + (r.chance(0.5) ? " NO." + std::to_string(1 + r.below(88)) : "");
            else
                s.name = std::string(r.pick(kForeign1)) + " " + r.pick(kForeign2);
        }
        if (names.count(s.name))
            s.name += " " + std::to_string(i);
        names.insert(s.name);
        while (s.mmsi.empty() || mmsis.count(s.mmsi))
            s.mmsi = (japanese ? (r.chance(0.7) ? "431" : "432") : r.pick(kForeignMid)) + digits(r, 6);
        mmsis.insert(s.mmsi);
        s.callSign = japanese ? "J" + std::string(1, char('A' + r.below(26))) + digits(r, 4)
                              : std::string(r.pick(kCallPrefix)) + char('A' + r.below(26)) + digits(r, 3);
        s.imo = "9" + digits(r, 6);
        switch (s.kind) {
        case Kind::Pilot: s.type = "50 (PILOT VESSEL)"; s.speed = r.uniform(16, 20); s.length = 18; break;
        case Kind::ShinMoji: s.type = "60 (PASSENGER)"; s.speed = r.uniform(19, 22); s.length = 190; break;
        case Kind::SmallCraft: s.type = r.chance(0.5) ? "37 (PLEASURE CRAFT)" : "30 (FISHING)"; s.speed = r.uniform(5, 9); s.length = 12; break;
        default:
            s.type = r.chance(0.7) ? "70 (CARGO)" : "80 (TANKER)";
            s.speed = r.uniform(10, 17);
            s.length = 60 + r.below(240);
        }
        if (s.kind == Kind::Through && r.chance(0.05)) {
            s.type = "52 (TUG)";
            s.underWay = "RESTRICTED MANOEUVRABILITY";
            s.speed = r.uniform(6, 8);
        }
        s.draught = std::clamp(s.length / 22.0 + r.uniform(-1, 1), 1.5, 14.5);
    }
    return fleet;
}

struct Leg
{
    double t0, t1;   // seconds of the day; a leg may begin before midnight or end after it
    int path;        // in ShipDay::paths
    double d0, d1;   // miles along the path at t0 and t1
    const char *status;
    int voyage;      // 0 inbound, 1 outbound
};

struct Voyage
{
    std::string destination, eta, draught;
};

struct ShipDay
{
    const Ship *ship = nullptr;
    std::vector<Path> paths;
    std::vector<Leg> legs;
    Point offset{0, 0}; // keeps ships on one lane apart; fades out towards berths
    Voyage voyages[2];
};

std::string fixed(double value, int decimals)
{
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals).ptr;
    return std::string(buffer, end);
}

// "04-07 15:00": the ETA as ships send it, rounded to the half hour.
std::string etaText(QDate day, double seconds)
{
    const qint64 halfHours = qint64(std::floor(seconds / 1800 + 0.5));
    // UTC only for the arithmetic: the same text whatever the machine's zone.
    return QDateTime(day, QTime(0, 0), Qt::UTC).addSecs(halfHours * 1800).toString("MM-dd HH:mm").toStdString();
}

ShipDay planDay(const Ship &ship, Rng &r, QDate day)
{
    ShipDay s;
    s.ship = &ship;
    if (ship.kind == Kind::Through || ship.kind == Kind::Anchored || ship.kind == Kind::Moji)
        s.offset = {r.uniform(-0.0012, 0.0012), r.uniform(-0.0012, 0.0012)};
    const double v = ship.speed * r.uniform(0.92, 1.08);
    const auto travel = [&](const Path &path, double t0, bool forward, int voyage) {
        s.paths.push_back(path);
        const double miles = length(path);
        const double t1 = t0 + miles / v * 3600;
        s.legs.push_back({t0, t1, int(s.paths.size()) - 1, forward ? 0 : miles, forward ? miles : 0, ship.underWay, voyage});
        return t1;
    };
    const auto stay = [&](double t0, double t1, double d, const char *status, int voyage) {
        s.legs.push_back({t0, t1, int(s.paths.size()) - 1, d, d, status, voyage});
    };
    const std::string draught = fixed(ship.draught, 1);
    const std::string otherDraught = fixed(std::clamp(ship.draught + r.uniform(-2.5, 2.5), 1.5, 14.5), 1);
    const bool west = r.chance(0.5);
    const std::string away = west ? r.pick(kWestward) : r.pick(kEastward);

    // A port call: in along `route`, moored at its last point, then back out.
    const auto portCall = [&](Path route, double berthJitter, const char *port, double arrive, double depart) {
        route.back().lat += r.uniform(-berthJitter, berthJitter);
        route.back().lon += r.uniform(-berthJitter, berthJitter);
        const double trip = length(route) / v * 3600;
        travel(route, arrive - trip, true, 0);
        stay(arrive, depart, length(route), "MOORED", 0);
        travel(route, depart, false, 1);
        s.voyages[0] = {port, etaText(day, arrive), draught};
        s.voyages[1] = {away, etaText(day, depart + r.uniform(8, 60) * 3600), otherDraught};
    };

    switch (ship.kind) {
    case Kind::Through: {
        const double trip = length(kFairway) / v * 3600;
        const double t0 = r.uniform(-0.9 * trip, 86400 - 0.1 * trip);
        travel(kFairway, t0, !west, 0);
        s.voyages[0] = {west ? r.pick(kWestward) : r.pick(kEastward), etaText(day, t0 + r.uniform(10, 70) * 3600), draught};
        break;
    }
    case Kind::Moji: {
        const double arrive = r.uniform(0, 20) * 3600;
        portCall(kToMoji, 0.002, r.chance(0.5) ? "MOJI" : "JP MOJ", arrive, arrive + r.uniform(3, 10) * 3600);
        break;
    }
    case Kind::Kanda: {
        const double arrive = r.uniform(1, 16) * 3600;
        portCall(kToKanda, 0.0008, "KANDA", arrive, arrive + r.uniform(2, 8) * 3600);
        break;
    }
    case Kind::ShinMoji:
        portCall(kToShinMoji, 0.0008, "SHINMOJI", r.uniform(5.5, 7) * 3600, r.uniform(17, 19.5) * 3600);
        s.voyages[1].destination = r.chance(0.5) ? "OSAKA" : "IZUMIOTSU";
        break;
    case Kind::Anchored: {
        Path route = kFromAnchorage;
        route.insert(route.begin(), Point{33.930 + r.uniform(-0.006, 0.006), 131.050 + r.uniform(-0.008, 0.008)});
        s.paths.push_back(route);
        const double leave = r.uniform(6, 30) * 3600;
        stay(-3600, leave, 0, "AT ANCHOR", 0);
        travel(route, leave, true, 1);
        s.voyages[0] = {"MOJI ANCH", etaText(day, -r.uniform(2, 30) * 3600), draught};
        s.voyages[1] = {r.pick(kWestward), etaText(day, leave + r.uniform(10, 60) * 3600), draught};
        break;
    }
    case Kind::Pilot: {
        // Reports every few seconds for an hour and a half: the one ship whose
        // hourly count runs off the chart's scale.
        s.paths.push_back(kPilotRound);
        const double t0 = r.uniform(7, 16) * 3600;
        s.legs.push_back({t0, t0 + 5400, 0, 0, v * 1.5, ship.underWay, 0});
        s.voyages[0] = s.voyages[1] = {"KANMON", etaText(day, t0 + 5400), "1.2"};
        break;
    }
    case Kind::SmallCraft: {
        const double t0 = r.uniform(6, 16) * 3600;
        const double out = travel(kHarbour, t0, true, 0);
        const double back = out + r.uniform(20, 90) * 60;
        stay(out, back, length(kHarbour), "", 0);
        travel(kHarbour, back, false, 0);
        break;
    }
    }
    return s;
}

// Where a leg puts its ship at time t, with speed and course over ground.
struct Fix
{
    Point at;
    double speed, course;
};

Fix fixAt(const ShipDay &s, const Leg &leg, double t, Rng &r)
{
    const Path &path = s.paths[std::size_t(leg.path)];
    const double total = length(path);
    const bool moving = leg.d0 != leg.d1;
    const double along = leg.d0 + (leg.d1 - leg.d0) * (t - leg.t0) / (leg.t1 - leg.t0);
    const bool round = path.front().lat == path.back().lat && path.front().lon == path.back().lon;
    double d = round ? std::fmod(along, total) : along;
    Fix f{path.back(), 0, r.uniform(0, 360)};
    for (std::size_t i = 1; i < path.size(); ++i) {
        const double seg = miles(path[i - 1], path[i]);
        if (d <= seg || i + 1 == path.size()) {
            const double k = seg > 0 ? std::clamp(d / seg, 0.0, 1.0) : 1.0;
            f.at = {path[i - 1].lat + k * (path[i].lat - path[i - 1].lat),
                    path[i - 1].lon + k * (path[i].lon - path[i - 1].lon)};
            if (moving) {
                const double east = (path[i].lon - path[i - 1].lon) * std::cos(f.at.lat * M_PI / 180);
                f.course = std::atan2(east, path[i].lat - path[i - 1].lat) * 180 / M_PI + (leg.d1 < leg.d0 ? 180 : 0);
            }
            break;
        }
        d -= seg;
    }
    const double fade = std::clamp(std::min(along, total - along) / 0.4, 0.0, 1.0);
    const double swing = moving ? 0 : (std::strcmp(leg.status, "AT ANCHOR") == 0 ? 0.0003 : 0.00004);
    f.at.lat += s.offset.lat * fade + r.uniform(-swing, swing);
    f.at.lon += s.offset.lon * fade + r.uniform(-swing, swing);
    f.course = std::fmod(f.course + 360 + (moving ? r.uniform(-2, 2) : 0), 360);
    f.speed = moving ? std::max(0.0, std::abs(leg.d1 - leg.d0) / (leg.t1 - leg.t0) * 3600 + r.uniform(-0.3, 0.3))
                     : r.uniform(0, 0.15);
    return f;
}

enum class Report : std::uint8_t { Position, Static, BaseStation, ShoreText, ShipText };

struct Event
{
    std::int32_t t;
    std::int32_t ship;   // in the day's ShipDay list
    std::int32_t leg;
    Report kind;
};

// Rough bytes of one record of each kind, to turn the size asked for into a
// reporting interval.
constexpr double kPositionBytes = 445, kStaticBytes = 575, kOtherBytes = 250;
// A ship at anchor or moored changes little: this station keeps one position
// report in six minutes and one static report in half an hour of it.
constexpr double kStationaryInterval = 360, kStaticInterval = 360, kStationaryStaticInterval = 1800;
constexpr double kBaseInterval = 120, kPilotInterval = 8;

class DayWriter
{
public:
    DayWriter(QSaveFile &file, QDate day)
        : m_file(file),
          m_separator("-------------------- " + day.toString("yyyy/MM/dd").toStdString() + " "),
          m_day(day.toString("yyyy/MM/dd").toStdString()),
          m_dayBefore(day.addDays(-1).toString("yyyy/MM/dd").toStdString())
    {
        m_buffer.reserve(1 << 20);
    }

    void begin(int t, std::string_view type, std::string_view mmsi)
    {
        m_buffer += m_separator;
        m_buffer += clock(t);
        m_buffer += "\r\n";
        line("MESSAGE TYPE", type);
        line("REPEAT INDICATOR", "0");
        line("MMSI NUMBER", mmsi);
    }
    void line(std::string_view label, std::string_view value)
    {
        m_buffer += label;
        m_buffer.append(20 - label.size(), ' ');
        m_buffer += "= ";
        m_buffer += value;
        m_buffer += "\r\n";
    }
    bool end()
    {
        m_buffer += "--------------------\r\n";
        return m_buffer.size() < (1 << 20) || flush();
    }
    bool flush()
    {
        const bool ok = m_file.write(m_buffer.data(), qint64(m_buffer.size())) == qint64(m_buffer.size());
        m_buffer.clear();
        return ok;
    }
    // The station clock is Japanese time; base stations send UTC, nine hours behind.
    std::string utc(int t) const { return (t >= 32400 ? m_day : m_dayBefore) + " " + clock((t + 86400 - 32400) % 86400); }

    static std::string clock(int t)
    {
        char s[9] = {char('0' + t / 36000), char('0' + t / 3600 % 10), ':', char('0' + t / 600 % 6),
                     char('0' + t / 60 % 10), ':', char('0' + t / 10 % 6), char('0' + t % 10), 0};
        return s;
    }

private:
    QSaveFile &m_file;
    std::string m_buffer;
    const std::string m_separator, m_day, m_dayBefore;
};

// A day log written whole or not at all: the records `write` gives, through a
// DayWriter, into a file that replaces `path` only when every byte is written.
template <typename Write>
bool saveDayLog(const QString &path, QDate day, QString *error, Write write)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    DayWriter writer(file, day);
    if (!write(writer) || !writer.flush() || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

bool writeRecord(DayWriter &w, const ShipDay &s, const Event &e, Rng &r)
{
    if (e.kind == Report::BaseStation) {
        w.begin(e.t, "4", kBaseStation);
        w.line("UTC DATE/TIME", w.utc(e.t));
        w.line("POSITION ACCURACY", "HIGH");
        w.line("EPFD TYPE", "SURVEYED");
        return w.end();
    }
    if (e.kind == Report::ShoreText) {
        w.begin(e.t, "14", kBaseStation);
        w.line("TEXT STRING", r.pick(kShoreTexts));
        return w.end();
    }
    const Ship &ship = *s.ship;
    const Leg &leg = s.legs[std::size_t(e.leg)];
    const Voyage &voyage = s.voyages[leg.voyage];
    switch (e.kind) {
    case Report::Position: {
        const Fix f = fixAt(s, leg, e.t, r);
        w.begin(e.t, ship.classB ? "18" : (r.chance(0.1) ? "3" : "1"), ship.mmsi);
        if (!ship.classB) {
            w.line("NAVIGATIONAL STATUS", leg.status);
            w.line("RATE OF TURN", ship.kind == Kind::Pilot ? fixed(r.uniform(-20, 20), 1) + " [deg/min]" : "0.0 [deg/min]");
        }
        w.line("SPEED OVER GROUND", fixed(f.speed, 1) + " [knots]");
        w.line("POSITION ACCURACY", ship.classB ? "LOW" : "HIGH");
        w.line("LONGITUDE", fixed(f.at.lon, 4));
        w.line("LATITUDE", fixed(f.at.lat, 4));
        w.line("COURSE OVER GROUND", fixed(f.course, 1) + " [deg]");
        w.line("TRUE HEADING", ship.classB ? "511" : std::to_string(int(f.course + r.uniform(0, 3)) % 360) + " [deg]");
        w.line("TIME STAMP", std::to_string(e.t % 60) + " [sec]");
        if (ship.classB)
            w.line("CS UNIT", "CARRIER SENSE");
        break;
    }
    case Report::Static:
        if (ship.classB) {
            const bool partA = e.t / int(kStaticInterval) % 2 == 0;
            w.begin(e.t, "24", ship.mmsi);
            w.line("PART NUMBER", partA ? "A" : "B");
            if (partA) {
                w.line("NAME", ship.name);
            } else {
                w.line("SHIP TYPE", ship.type);
                w.line("CALL SIGN", ship.callSign);
                w.line("DIMENSION TO BOW", "9 [m]");
                w.line("DIMENSION TO STERN", "3 [m]");
            }
            break;
        }
        w.begin(e.t, "5", ship.mmsi);
        w.line("AIS VERSION", "0");
        w.line("IMO NUMBER", ship.kind == Kind::Pilot ? "0" : ship.imo);
        w.line("CALL SIGN", ship.callSign);
        w.line("NAME", ship.name);
        w.line("SHIP TYPE", ship.type);
        w.line("DIMENSION TO BOW", std::to_string(ship.length * 4 / 5) + " [m]");
        w.line("DIMENSION TO STERN", std::to_string(ship.length - ship.length * 4 / 5) + " [m]");
        w.line("DIMENSION TO PORT", std::to_string(ship.length / 14 + 1) + " [m]");
        w.line("DIMENSION TO STARBD", std::to_string(ship.length / 14 + 1) + " [m]");
        w.line("EPFD TYPE", "GPS");
        w.line("ESTIMATED TIME", voyage.eta);
        w.line("STATIC DRAUGHT", voyage.draught);
        w.line("DESTINATION", voyage.destination);
        w.line("DTE", "READY");
        break;
    case Report::ShipText:
        w.begin(e.t, "12", ship.mmsi);
        w.line("SEQUENCE NUMBER", std::to_string(r.below(4)));
        w.line("DESTINATION MMSI", kBaseStation);
        w.line("RETRANSMIT FLAG", "0");
        w.line("TEXT STRING", r.pick(kShipTexts));
        break;
    default:
        break;
    }
    return w.end();
}

// Seconds of [t0, t1) that fall within the day.
double inDay(double t0, double t1)
{
    return std::max(0.0, std::min(t1, 86400.0) - std::max(t0, 0.0));
}

int legAt(const ShipDay &s, double t)
{
    for (std::size_t i = 0; i < s.legs.size(); ++i) {
        if (s.legs[i].t0 <= t && t < s.legs[i].t1)
            return int(i);
    }
    return -1;
}

std::vector<Event> schedule(const std::vector<ShipDay> &ships, double targetBytes, Rng &r)
{
    // Everything but the moving ships' position reports has a fixed rate; the
    // moving ships' interval takes up the rest of the size asked for.
    double moving = 0, fixedBytes = 86400 / kBaseInterval * kOtherBytes;
    for (const ShipDay &s : ships) {
        for (const Leg &leg : s.legs) {
            const double seconds = inDay(leg.t0, leg.t1);
            fixedBytes += seconds / (leg.d0 == leg.d1 ? kStationaryStaticInterval : kStaticInterval) * kStaticBytes;
            if (s.ship->kind == Kind::Pilot)
                fixedBytes += seconds / kPilotInterval * kPositionBytes;
            else if (leg.d0 == leg.d1)
                fixedBytes += seconds / kStationaryInterval * kPositionBytes;
            else
                moving += seconds;
        }
    }
    const double interval = std::clamp(moving * kPositionBytes / std::max(1.0, targetBytes - fixedBytes), 2.0, 300.0);

    std::vector<Event> events;
    const auto every = [&](double t0, double t1, double step, auto add) {
        for (double t = std::max(t0, 0.0) + r.uniform(0, step); t < std::min(t1, 86400.0); t += step * r.uniform(0.75, 1.25))
            add(std::int32_t(t));
    };
    for (std::size_t i = 0; i < ships.size(); ++i) {
        const ShipDay &s = ships[i];
        const double own = interval * r.uniform(0.7, 1.4);
        for (std::size_t k = 0; k < s.legs.size(); ++k) {
            const Leg &leg = s.legs[k];
            const bool still = leg.d0 == leg.d1;
            const double step = s.ship->kind == Kind::Pilot ? kPilotInterval : still ? kStationaryInterval : own;
            every(leg.t0, leg.t1, step, [&](std::int32_t t) { events.push_back({t, std::int32_t(i), std::int32_t(k), Report::Position}); });
            every(leg.t0, leg.t1, still ? kStationaryStaticInterval : kStaticInterval,
                  [&](std::int32_t t) { events.push_back({t, std::int32_t(i), std::int32_t(k), Report::Static}); });
        }
    }
    every(0, 86400, kBaseInterval, [&](std::int32_t t) { events.push_back({t, -1, 0, Report::BaseStation}); });
    const int texts = 6 + int(targetBytes / 330e3);
    for (int n = 0; n < texts; ++n) {
        const auto t = std::int32_t(r.uniform(0, 86400));
        int i = 0, leg = -1;
        for (int tries = 0; n % 2 == 1 && leg < 0 && tries < 20; ++tries) {
            i = r.below(int(ships.size()));
            leg = legAt(ships[std::size_t(i)], t);
        }
        if (leg >= 0)
            events.push_back({t, i, leg, Report::ShipText});
        else
            events.push_back({t, -1, 0, Report::ShoreText});
    }
    std::stable_sort(events.begin(), events.end(), [](const Event &a, const Event &b) { return a.t < b.t; });
    return events;
}

QColor colour(Rng &r, int lo, int hi)
{
    return QColor(lo + r.below(hi - lo), lo + r.below(hi - lo), lo + r.below(hi - lo));
}

// A side view of a ship with its MMSI and name on it.
bool writePicture(const QString &path, const Ship &ship, QSize size, std::uint64_t seed, QString *error)
{
    Rng r(mix(seed, std::stoull(ship.mmsi)));
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(35, 75, 115));
    const double w = size.width(), h = size.height();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, h * 0.6);
    sky.setColorAt(0, QColor(110, 160, 215));
    sky.setColorAt(1, QColor(205, 225, 240));
    p.fillRect(QRectF(0, 0, w, h * 0.6), sky);
    p.setPen(Qt::NoPen);
    p.setBrush(colour(r, 20, 140));
    p.drawPolygon(QPolygonF({QPointF(w * 0.06, h * 0.50), QPointF(w * 0.94, h * 0.52), QPointF(w * 0.88, h * 0.68),
                             QPointF(w * 0.14, h * 0.68)}));
    if (ship.type.rfind("70", 0) == 0) {
        for (double x = w * 0.16; x < w * 0.62; x += w * 0.075) {
            p.setBrush(colour(r, 60, 230));
            p.drawRect(QRectF(x, h * (0.40 + r.uniform(0, 0.05)), w * 0.07, h * 0.11));
        }
    }
    p.setBrush(Qt::white);
    if (ship.type.rfind("60", 0) == 0)
        p.drawRect(QRectF(w * 0.18, h * 0.41, w * 0.52, h * 0.10));
    p.drawRect(QRectF(w * 0.68, h * 0.34, w * 0.15, h * 0.17));
    p.drawRect(QRectF(w * 0.66, h * 0.29, w * 0.19, h * 0.05));
    p.setBrush(colour(r, 120, 250));
    p.drawRect(QRectF(w * 0.79, h * 0.18, w * 0.04, h * 0.11));
    QFont font;
    font.setBold(true);
    font.setPixelSize(std::max(10, int(h / 9)));
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRectF(0, h * 0.03, w, h * 0.14), Qt::AlignCenter, QString::fromStdString(ship.mmsi));
    font.setPixelSize(std::max(8, int(h / 14)));
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, h * 0.76, w, h * 0.16), Qt::AlignCenter, QString::fromStdString(ship.name));
    p.end();
    if (!image.save(path, "JPG", 85)) {
        *error = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    return true;
}

// The wander shape. Its square is the degree around the station, sea and land
// alike: these logs are for timing, not for the map.
constexpr double kSquareLat = 33.5, kSquareLon = 130.5;
constexpr int kWanderFleet = 2000;
// Reports a day of the ship of rank k are proportional to k^-kZipf: with 2,000
// ships the first few send every few seconds on a 30 MB day while most of the
// fleet is heard a few times a day, or not every day.
constexpr double kZipf = 1.2;
constexpr double kWanderStaticShare = 0.125; // of a ship's reports, the static ones
constexpr double kFastestInterval = 2;

struct WanderReport
{
    std::int32_t t;
    std::int32_t ship; // in the fleet; -1 the base station
    double lat, lon, speed, course;
    bool isStatic;
};

// Folds a coordinate that ran past the square's edges back in, as a ship
// turning away from the edge would; returns whether its course is mirrored.
bool foldIntoSquare(double &x, double lo)
{
    double m = std::fmod(x - lo, 2.0);
    if (m < 0)
        m += 2;
    const bool mirrored = m > 1;
    x = lo + (mirrored ? 2 - m : m);
    return mirrored;
}

// The ship's reports of the day, from a start anywhere in the square along a
// course that drifts a little between reports.
void wanderDay(const Ship &ship, std::int32_t index, double expected, Rng &r, std::vector<WanderReport> &out)
{
    const int count = int(expected) + (r.chance(expected - std::floor(expected)) ? 1 : 0);
    if (count == 0)
        return;
    const double step = 86400.0 / count;
    double lat = kSquareLat + r.uniform(), lon = kSquareLon + r.uniform();
    double course = r.uniform(0, 360);
    const double knots = ship.speed * r.uniform(0.8, 1.2);
    double last = 0;
    for (double t = r.uniform(0, step); t < 86400; t += step * r.uniform(0.75, 1.25)) {
        const double dt = t - last;
        last = t;
        course += r.uniform(-1, 1) * std::min(90.0, 10 * std::sqrt(dt / 60));
        const double miles = knots * dt / 3600;
        lat += miles / 60 * std::cos(course * M_PI / 180);
        lon += miles / 60 * std::sin(course * M_PI / 180) / std::cos(lat * M_PI / 180);
        if (foldIntoSquare(lat, kSquareLat))
            course = 180 - course;
        if (foldIntoSquare(lon, kSquareLon))
            course = -course;
        course = std::fmod(std::fmod(course, 360) + 360, 360);
        out.push_back({std::int32_t(t), index, lat, lon, std::max(0.0, knots + r.uniform(-0.3, 0.3)), course,
                       r.chance(kWanderStaticShare)});
    }
}

// The scale c of the fleet's reports a day, c * k^-kZipf for the ship of rank
// k (at most one every kFastestInterval seconds), that sums to `records`.
double zipfScale(int fleet, double records)
{
    const double most = 86400 / kFastestInterval;
    const auto total = [&](double c) {
        double sum = 0;
        for (int k = 1; k <= fleet; ++k)
            sum += std::min(most, c * std::pow(k, -kZipf));
        return sum;
    };
    double lo = 0, hi = records + 1;
    while (total(hi) < records && hi < most * 1e6)
        hi *= 2;
    for (int i = 0; i < 60; ++i)
        (total((lo + hi) / 2) < records ? lo : hi) = (lo + hi) / 2;
    return hi;
}

bool writeWanderRecord(DayWriter &w, const Ship &ship, const WanderReport &e, QDate day, Rng &r)
{
    if (e.ship < 0) {
        w.begin(e.t, "4", kBaseStation);
        w.line("UTC DATE/TIME", w.utc(e.t));
        w.line("POSITION ACCURACY", "HIGH");
        w.line("EPFD TYPE", "SURVEYED");
        return w.end();
    }
    if (e.isStatic && ship.classB) {
        const bool partA = r.chance(0.5);
        w.begin(e.t, "24", ship.mmsi);
        w.line("PART NUMBER", partA ? "A" : "B");
        if (partA) {
            w.line("NAME", ship.name);
        } else {
            w.line("SHIP TYPE", ship.type);
            w.line("CALL SIGN", ship.callSign);
        }
        return w.end();
    }
    if (e.isStatic) {
        w.begin(e.t, "5", ship.mmsi);
        w.line("AIS VERSION", "0");
        w.line("IMO NUMBER", ship.imo);
        w.line("CALL SIGN", ship.callSign);
        w.line("NAME", ship.name);
        w.line("SHIP TYPE", ship.type);
        w.line("DIMENSION TO BOW", std::to_string(ship.length * 4 / 5) + " [m]");
        w.line("DIMENSION TO STERN", std::to_string(ship.length - ship.length * 4 / 5) + " [m]");
        w.line("EPFD TYPE", "GPS");
        w.line("ESTIMATED TIME", etaText(day, e.t + r.uniform(4, 60) * 3600));
        w.line("STATIC DRAUGHT", fixed(ship.draught, 1));
        w.line("DESTINATION", r.chance(0.5) ? r.pick(kWestward) : r.pick(kEastward));
        w.line("DTE", "READY");
        return w.end();
    }
    w.begin(e.t, ship.classB ? "18" : (r.chance(0.1) ? "3" : "1"), ship.mmsi);
    if (!ship.classB) {
        w.line("NAVIGATIONAL STATUS", ship.underWay);
        w.line("RATE OF TURN", "0.0 [deg/min]");
    }
    w.line("SPEED OVER GROUND", fixed(e.speed, 1) + " [knots]");
    w.line("POSITION ACCURACY", ship.classB ? "LOW" : "HIGH");
    w.line("LONGITUDE", fixed(e.lon, 4));
    w.line("LATITUDE", fixed(e.lat, 4));
    w.line("COURSE OVER GROUND", fixed(e.course, 1) + " [deg]");
    w.line("TRUE HEADING", ship.classB ? "511" : std::to_string(int(e.course + r.uniform(0, 3)) % 360) + " [deg]");
    w.line("TIME STAMP", std::to_string(e.t % 60) + " [sec]");
    return w.end();
}

bool writeWanderDayLog(const QString &path, QDate day, const Options &options, QString *error)
{
    const std::vector<Ship> fleet = buildFleet(options);
    const std::uint64_t daySeed = mix(options.seed, std::uint64_t(day.toJulianDay()));
    const double target = options.mbPerDay * 1e6;
    const double baseBytes = 86400 / kBaseInterval * kOtherBytes;
    const double recordBytes = kWanderStaticShare * kStaticBytes + (1 - kWanderStaticShare) * kPositionBytes;
    const double scale = zipfScale(int(fleet.size()), std::max(1.0, target - baseBytes) / recordBytes);

    std::vector<WanderReport> reports;
    for (std::size_t i = 0; i < fleet.size(); ++i) {
        Rng r(mix(daySeed, i));
        wanderDay(fleet[i], std::int32_t(i), scale * std::pow(double(i + 1), -kZipf), r, reports);
    }
    Rng r(mix(daySeed, 0xE7E27));
    for (double t = r.uniform(0, kBaseInterval); t < 86400; t += kBaseInterval * r.uniform(0.75, 1.25))
        reports.push_back({std::int32_t(t), -1, 0, 0, 0, 0, false});
    std::stable_sort(reports.begin(), reports.end(), [](const WanderReport &a, const WanderReport &b) { return a.t < b.t; });

    const Ship station;
    return saveDayLog(path, day, error, [&](DayWriter &writer) {
        for (const WanderReport &e : reports) {
            if (!writeWanderRecord(writer, e.ship >= 0 ? fleet[std::size_t(e.ship)] : station, e, day, r))
                return false;
        }
        return true;
    });
}

} // namespace

int fleetSize(const Options &options)
{
    if (options.ships > 0)
        return options.ships;
    if (options.shape == Shape::Wander)
        return kWanderFleet;
    // About 45 ships a day for the demo's 2 MB; larger days get more ships and
    // shorter reporting intervals both, smaller ones fewer ships.
    const double mb = options.mbPerDay;
    return std::max(8, int(std::lround(mb >= 2 ? 60 * std::sqrt(mb / 2) : 30 * mb)));
}

bool writeDayLog(const QString &path, QDate day, const Options &options, QString *error)
{
    if (options.shape == Shape::Wander)
        return writeWanderDayLog(path, day, options, error);
    const std::vector<Ship> fleet = buildFleet(options);
    const std::uint64_t daySeed = mix(options.seed, std::uint64_t(day.toJulianDay()));
    std::vector<ShipDay> ships;
    for (std::size_t i = 0; i < fleet.size(); ++i) {
        Rng r(mix(daySeed, i));
        // The pilot boat, the ferries and the Kanda regular come every day.
        if (i < 4 || r.chance(0.75))
            ships.push_back(planDay(fleet[i], r, day));
    }
    Rng r(mix(daySeed, 0xE7E27));
    const std::vector<Event> events = schedule(ships, options.mbPerDay * 1e6, r);

    const ShipDay shore;
    return saveDayLog(path, day, error, [&](DayWriter &writer) {
        for (const Event &e : events) {
            if (!writeRecord(writer, e.ship >= 0 ? ships[std::size_t(e.ship)] : shore, e, r))
                return false;
        }
        return true;
    });
}

bool generate(const QString &dir, const Options &options, QString *error)
{
    const QDir root(dir);
    // work/ is where the browser is started, so that ../logs and ../pics
    // are the ones written here.
    if (!root.mkpath("logs") || !root.mkpath("pics") || !root.mkpath("work")) {
        *error = QStringLiteral("cannot create %1/logs, %1/pics and %1/work").arg(dir);
        return false;
    }
    for (int i = options.days - 1; i >= 0; --i) {
        const QDate day = options.end.addDays(-i);
        const QString name = day.toString("yyyyMMdd") + QStringLiteral("_AIS_FMT.log");
        if (!writeDayLog(root.filePath("logs/" + name), day, options, error))
            return false;
    }
    if (!options.pictures)
        return true;
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        *error = QStringLiteral("drawing the photographs needs a QGuiApplication");
        return false;
    }
    // Photos for a few ships only, some larger than the browser's 203 x 136 box.
    const QSize sizes[] = {{640, 480}, {203, 136}, {320, 240}, {160, 107}, {800, 600}};
    const std::vector<Ship> fleet = buildFleet(options);
    int written = 0;
    for (std::size_t i = 0; i < fleet.size() && written < 12; i += i < 4 ? 1 : 3) {
        const QString path = root.filePath("pics/" + QString::fromStdString(fleet[i].mmsi) + ".jpg");
        if (!writePicture(path, fleet[i], sizes[written % 5], options.seed, error))
            return false;
        ++written;
    }
    return true;
}

} // namespace DemoData

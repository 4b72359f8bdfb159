// velkais-log: the browser's searches and views for scripts and cron jobs.
// It runs the same engine as the window, with the criteria taken from options.
#include "clihost.h"
#include "records.h"
#include "report.h"
#include "engine/export.h"
#include "engine/module1.h"
#include "index/sqlitedayindex.h"
#include "indexcommand.h"
#include "mapcommand.h"
#include "passages.h"
#include "engine/numbers.h"
#include "engine/text.h"
#include "platform/files.h"
#include "platform/offscreen.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <memory>

#include <cstdio>
#include <cstring>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

enum Exit { Success = 0, Unreadable = 1, Usage = 2, Limit = 3 };

const char *const kProgram = "velkais-log";

struct OptionHelp
{
    const char *key;  // the option's name without "--"
    const char *form; // as the help shows it
    const char *text;
};

const OptionHelp kOptions[] = {
    {"logs", "--logs DIR", "folder of the day logs (default ../logs)"},
    {"from", "--from TEXT", "first date of the period: yyyymmdd or its first digits, compared as text with the file names"},
    {"to", "--to TEXT", "last date of the period (inclusive), as --from"},
    {"mmsi", "--mmsi TEXT", "only this MMSI (default: any ship)"},
    {"area", "--area LAT,LON,RANGE", "switch on the next area (A, B, C): a square of +-RANGE degrees; three numbers"},
    {"ship", "--ship MMSI", "the ship whose days (days) or whose view (hours, changes, kml, track) is wanted"},
    {"file", "--file NAME", "the day log of the view or track, a file name in the log folder"},
    {"name", "--name TEXT", "the ship name written into the KML document or the track (track default: the ship's last name in the log)"},
    {"altitude", "--altitude 0|1|2", "KML altitude: speed x10+1, speed x100+1, or constant 10 (default 0)"},
    {"format", "--format FORMAT",
     "records: csv (default), jsonl or geojson; track: gpx or geojson; passages: text (default), csv, jsonl or "
     "geojson; report: text (default), csv or json"},
    {"utc-offset", "--utc-offset +HH:MM", "the station clock's offset from UTC: track points and passages get their times in UTC"},
    {"gap", "--gap MINUTES",
     "passages: a silence longer than this ends a passage (default 30, at most 720)"},
    {"count", "--count hour|day|month",
     "passages: print the number of passages per area and hour, day or month of entry, by the sides crossed"},
    {"out", "--out FILE",
     "write to FILE instead of standard output (- is standard output); a regular FILE is replaced only when the "
     "run exits 0, else left as it was; a device, pipe or /dev/stdout is written in place"},
    {"track", "--track FILE", "map: a KML, GPX or GeoJSON file whose tracks and points are drawn"},
    {"size", "--size WxH", "map: the image's size in pixels (default 1200x900)"},
    {"quiet", "--quiet",
     "no line for each log file that could not be read (the summary line and the exit status stay); index: nothing "
     "on standard output either, for cron (problems still on standard error)"},
    {"jobs", "--jobs N",
     "day logs a period is read with at once, one a thread (index: in as many processes); 1 reads them one after "
     "the other; a single day is always read by one (default: $VELKAIS_JOBS, else one per core)"},
    {"station", "--station LAT,LON", "report: the receiving station's position in decimal degrees, for the range (default: $VELKAIS_STATION)"},
    {"compare", "--compare FROM,TO", "report: a second period, reported beside the first with the differences"},
    {"outline", "--outline FILE", "report: write the range outline (maximum and 95th percentile per 5-degree sector) as GeoJSON (.geojson, .json) or KML (.kml)"},
    {"rejected", "--rejected", "report: list every position left out of the range, and why"},
    {"silence", "--silence MIN", "report: the shortest silent stretch listed, in minutes (default 10)"},
    {"max-range", "--max-range NM", "report: positions farther from the station are left out of the range (default 500)"},
    {"check", "--check", "report: one line for a monitoring system about the last stretch of time, exit status as its plugins"},
    {"last", "--last DURATION", "report --check: the stretch looked at, as 30m, 2h or 600s"},
    {"now", "--now TIME", "report: the moment taken as now, yyyy-MM-ddTHH:mm:ss (default: the clock), to check or report the past as it stood"},
    {"index-dir", "--index-dir DIR", "keep the day index in DIR instead of $VELKAIS_INDEX_DIR or the user's cache folder"},
    {"no-index", "--no-index", "read every file; neither use nor update the day index"},
    {"help", "--help", "print this help and exit (after a subcommand: that subcommand's)"},
    {"version", "--version", "print the version and exit"},
};

struct CommandHelp
{
    const char *name;
    const char *synopsis;
    const char *prints;
    QStringList options;
};

const QStringList kCommon = {"logs", "quiet", "index-dir", "no-index", "jobs", "help"};

// What each subcommand takes and prints; the whole --help and each
// subcommand's own are made from it.
const CommandHelp kCommands[] = {
    {"search", "[--logs DIR] --from TEXT --to TEXT [--mmsi TEXT] [--area LAT,LON,RANGE]...",
     "the ships that match in the period, one \"MMSI NAME\" line each, as the window's ship list",
     {"from", "to", "mmsi", "area"}},
    {"days", "[--logs DIR] --from TEXT --to TEXT --ship MMSI [--mmsi TEXT] [--area LAT,LON,RANGE]...",
     "the day logs of the period in which the ship matches, one file name a line, as the window's day list",
     {"from", "to", "ship", "mmsi", "area"}},
    {"hours", "[--logs DIR] --file NAME --ship MMSI",
     "the ship's reports per hour of the day, as the chart's bars: 25 lines \"HH COUNT\", 00 to 24",
     {"file", "ship"}},
    {"changes", "[--logs DIR] --file NAME --ship MMSI",
     "the ship's voyage and status changes of the day, as the window's change list, CR LF lines",
     {"file", "ship"}},
    {"kml", "[--logs DIR] --file NAME --ship MMSI [--name TEXT] [--altitude 0|1|2] [--out FILE]",
     "the ship's day as the KML document the window hands to the desktop",
     {"file", "ship", "name", "altitude", "out"}},
    {"records",
     "[--logs DIR] --from TEXT --to TEXT [--mmsi TEXT] [--area LAT,LON,RANGE]... [--format csv|jsonl|geojson] "
     "[--out FILE]",
     "every record of the period that passes the criteria, with no limit, as CSV (default), JSON lines or "
     "GeoJSON points",
     {"from", "to", "mmsi", "area", "format", "out"}},
    {"track",
     "[--logs DIR] --file NAME --ship MMSI [--name TEXT] --format gpx|geojson [--utc-offset +HH:MM] [--out FILE]",
     "the ship's track of the day as GPX 1.1, or as GeoJSON: a LineString and a point for each report",
     {"file", "ship", "name", "format", "utc-offset", "out"}},
    {"passages",
     "[--logs DIR] --from TEXT --to TEXT --area LAT,LON,RANGE... [--mmsi TEXT] [--gap MINUTES] "
     "[--format text|csv|jsonl|geojson] [--count hour|day|month] [--utc-offset +HH:MM] [--out FILE]",
     "each ship's passages through the areas, one a line in the order of entry, with no limit: entry and exit, "
     "duration, fixes, speeds, sides, bearing, whether it stopped",
     {"from", "to", "mmsi", "area", "gap", "format", "count", "utc-offset", "out"}},
    {"map",
     "[--logs DIR] [--file NAME --ship MMSI [--name TEXT]] [--track FILE] [--area LAT,LON,RANGE]... --out FILE.png "
     "[--size WxH]",
     "no text: it draws the ship's day track and the areas on the sea map into the PNG image --out names",
     {"file", "ship", "name", "track", "area", "out", "size"}},
    {"report",
     "[--logs DIR] --from TEXT --to TEXT [--station LAT,LON] [--compare FROM,TO] [--format text|csv|json] [--out FILE] "
     "[--outline FILE] [--rejected] [--silence MIN] [--max-range NM]",
     "the station's reception over the period: records per 10 minutes, distinct MMSIs per hour and day by kind, "
     "silent periods and, with the station's position, the range per 5-degree sector; with --check --last DURATION "
     "one OK, WARNING, CRITICAL or UNKNOWN line instead",
     {"from", "to", "station", "compare", "format", "out", "outline", "rejected", "silence", "max-range", "check", "last",
      "now"}},
    {"index", "[--logs DIR] [--from TEXT] [--to TEXT] [--jobs N]",
     "one line of what it did, after building the day index of the period ahead", {"from", "to"}},
};

const CommandHelp *findCommand(const QString &name)
{
    for (const CommandHelp &c : kCommands) {
        if (name == QLatin1String(c.name))
            return &c;
    }
    return nullptr;
}

QString optionLine(const OptionHelp &o)
{
    return QStringLiteral("  %1 %2\n").arg(QLatin1String(o.form), -22).arg(QLatin1String(o.text));
}

const char *const kExitStatus =
    "Exit status:\n"
    "  0  success\n"
    "  1  a log folder or file could not be read, or the output not written\n"
    "  2  usage error\n"
    "  3  the limit of 1000 results was reached (the results so far are printed)\n"
    "  report --check follows the monitoring plugins' convention instead: 0 OK (ships heard in the stretch),\n"
    "  1 WARNING (only base stations and aids to navigation heard), 2 CRITICAL (nothing heard; the line\n"
    "  names the last time anything was), 3 UNKNOWN (the check could not run, a usage error included)\n";

// Shaped as help2man reads it: "Usage:" and "or:" lines make the manual
// page's synopsis, a line ending in ":" a section, "  --" lines its options.
QString fullHelp()
{
    QString help;
    const char *lead = "Usage:";
    for (const CommandHelp &c : kCommands) {
        help += QStringLiteral("%1 %2 %3 %4\n").arg(QLatin1String(lead), QLatin1String(kProgram),
                                                   QLatin1String(c.name), QLatin1String(c.synopsis));
        lead = "  or: ";
    }
    help += QStringLiteral("Runs the searches and views of velkais-log-browser on the day logs of an AIS receiving\n"
                           "station, with the same reader and criteria, given as options, and the results on\n"
                           "standard output: a subcommand for each thing the window shows, and records and track\n"
                           "for other tools.\n\n"
                           "Subcommands:\n");
    for (const CommandHelp &c : kCommands)
        help += QStringLiteral("  %1 %2\n").arg(QLatin1String(c.name), -8).arg(QLatin1String(c.prints));
    help += QStringLiteral("\nOptions:\n");
    for (const OptionHelp &o : kOptions)
        help += optionLine(o);
    return help + QLatin1Char('\n') + QLatin1String(kExitStatus);
}

QString commandHelp(const CommandHelp &c)
{
    QString help = QStringLiteral("Usage: %1 %2 %3\nPrints %4.\n\nOptions:\n")
                       .arg(QLatin1String(kProgram), QLatin1String(c.name), QLatin1String(c.synopsis),
                            QLatin1String(c.prints));
    const bool index = QLatin1String(c.name) == QLatin1String("index");
    for (const OptionHelp &o : kOptions) {
        const QString key = QLatin1String(o.key);
        if (c.options.contains(key) || (kCommon.contains(key) && !(index && key == QLatin1String("no-index"))))
            help += optionLine(o);
    }
    return help + QLatin1Char('\n') + QLatin1String(kExitStatus);
}

// One line that says why, and where to read more: the whole usage text would
// push the reason off a small terminal.
int usageError(const QString &what, const QString &command = {})
{
    const QString more = findCommand(command) ? QStringLiteral("%1 %2 --help").arg(QLatin1String(kProgram), command)
                                              : QStringLiteral("%1 --help").arg(QLatin1String(kProgram));
    std::fprintf(stderr, "%s: %s\nTry '%s'.\n", kProgram, what.toUtf8().constData(), more.toUtf8().constData());
    return Usage;
}

struct Options
{
    QString command;
    QMap<QString, QString> values;
    QStringList areas;
    bool quiet = false;
    bool noIndex = false;
    QStringList flags; // report's --rejected and --check
};

// Options as "--name value" or "--name=value"; --area may repeat.
bool parse(const QStringList &args, Options &o, QString &error)
{
    static const QStringList known = {"logs", "from", "to",  "mmsi", "area",      "ship",  "file",   "name",
                                      "altitude", "out", "format", "utc-offset", "jobs", "index-dir", "worker",
                                      "track", "size", "gap", "count", "station", "compare", "outline", "silence",
                                      "max-range", "last", "now"};
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (!a.startsWith(QLatin1String("--"))) {
            if (!o.command.isEmpty()) {
                error = QStringLiteral("unexpected argument '%1'").arg(a);
                return false;
            }
            o.command = a;
            continue;
        }
        if (a == QLatin1String("--quiet")) {
            o.quiet = true;
            continue;
        }
        if (a == QLatin1String("--no-index")) {
            o.noIndex = true;
            continue;
        }
        if (a == QLatin1String("--rejected") || a == QLatin1String("--check")) {
            o.flags << a.mid(2);
            continue;
        }
        QString name = a.mid(2);
        QString value;
        const qsizetype eq = name.indexOf(QLatin1Char('='));
        if (eq >= 0) {
            value = name.mid(eq + 1);
            name.truncate(eq);
        } else if (known.contains(name)) {
            if (i + 1 >= args.size()) {
                error = QStringLiteral("--%1 needs a value").arg(name);
                return false;
            }
            value = args[++i];
        }
        if (!known.contains(name)) {
            error = QStringLiteral("unknown option '%1'").arg(a);
            return false;
        }
        if (name == QLatin1String("area"))
            o.areas << value;
        else if (o.values.contains(name)) {
            error = QStringLiteral("--%1 given twice").arg(name);
            return false;
        } else
            o.values.insert(name, value);
    }
    return true;
}

bool requireOptions(const Options &o, const QStringList &required, const QStringList &allowed, QString &error)
{
    for (const QString &r : required) {
        if (!o.values.contains(r)) {
            error = QStringLiteral("%1 needs --%2").arg(o.command, r);
            return false;
        }
    }
    for (auto it = o.values.cbegin(); it != o.values.cend(); ++it) {
        if (!required.contains(it.key()) && !allowed.contains(it.key())) {
            error = QStringLiteral("--%1 does not go with %2").arg(it.key(), o.command);
            return false;
        }
    }
    if (!o.areas.isEmpty() && !allowed.contains(QLatin1String("area"))) {
        error = QStringLiteral("--area does not go with %1").arg(o.command);
        return false;
    }
    return true;
}

// The window reads a field without a number as 0; here a typo would give an
// empty result that looks like a quiet sea, so an area is three plain
// numbers, which the leading-number rule then reads as written.
bool isArea(const QString &text)
{
    static const QRegularExpression number(QStringLiteral(R"(^\s*[+-]?(\d+\.?\d*|\.\d+)\s*$)"));
    const QStringList parts = text.split(QLatin1Char(','));
    return parts.size() == 3 &&
           std::all_of(parts.cbegin(), parts.cend(), [](const QString &p) { return number.match(p).hasMatch(); });
}

// Day logs are named yyyymmdd_AIS_FMT.log and the period compares their
// first eight characters with --from and --to as text, so a bound is a date
// or its first digits ("--from 2011 --to 2012" is the year 2011). A dash or a
// slash, or a period no eight digits lie in, can match no name.
bool checkPeriod(const Options &o, QString &error)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{0,8}$"));
    for (const char *bound : {"from", "to"}) {
        const QString value = o.values.value(QLatin1String(bound));
        if (!digits.match(value).hasMatch()) {
            error = QStringLiteral("--%1 '%2' matches no day log name: give yyyymmdd, or its first digits")
                        .arg(QLatin1String(bound), value);
            return false;
        }
    }
    // The earliest name the period takes is --from filled up with zeros.
    const QString from = o.values.value("from"), to = o.values.value("to");
    const bool toGiven = o.values.contains("to") && (o.command != QLatin1String("index") || !to.isEmpty());
    if (toGiven && from.leftJustified(8, QLatin1Char('0')) > to) {
        error = QStringLiteral("no day log name lies between --from '%1' and --to '%2'").arg(from, to);
        return false;
    }
    return true;
}

bool writeOut(const QByteArray &bytes)
{
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size()) &&
           std::fflush(stdout) == 0;
}

QByteArray lines(const QStringList &items)
{
    QByteArray out;
    for (const QString &item : items)
        out += item.toUtf8() + '\n';
    return out;
}

int run(const QStringList &args)
{
    Options o;
    QString error;
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        const auto named = std::find_if(args.cbegin(), args.cend(), [](const QString &a) { return findCommand(a); });
        const QString help = named != args.cend() ? commandHelp(*findCommand(*named)) : fullHelp();
        std::fputs(help.toUtf8().constData(), stdout);
        return Success;
    }
    if (args.contains(QLatin1String("--version"))) {
        std::fputs("velkais-log " VELKAIS_VERSION "\n", stdout);
        return Success;
    }
    if (!parse(args, o, error))
        return usageError(error, o.command);
    // Threads for the period passes: the option, else the environment, else the cores.
    int jobs = Module1::readJobsFromEnvironment();
    if (o.values.contains("jobs")) {
        bool ok = false;
        jobs = o.values.value("jobs").toInt(&ok);
        if (!ok || jobs < 1 || jobs > Module1::kMaxReadJobs)
            return usageError(QStringLiteral("--jobs takes a number from 1 to %1").arg(Module1::kMaxReadJobs), o.command);
    } else if (jobs < 0) {
        return usageError(QStringLiteral("VELKAIS_JOBS takes a number from 1 to %1, not '%2'")
                              .arg(Module1::kMaxReadJobs)
                              .arg(qEnvironmentVariable("VELKAIS_JOBS")),
                          o.command);
    }
    Module1::setReadJobs(jobs);
    if (o.command == QLatin1String("report"))
        return reportCommand({o.values, o.flags.contains("rejected"), o.flags.contains("check"), o.quiet, o.noIndex});
    if (!o.flags.isEmpty())
        return usageError(QStringLiteral("--%1 goes with report").arg(o.flags.first()), o.command);

    const QStringList criteria = {"mmsi", "area"};
    const QStringList common = {"logs", "index-dir", "jobs"};
    if (o.command == QLatin1String("search"))
        (void)requireOptions(o, {"from", "to"}, common + criteria, error);
    else if (o.command == QLatin1String("days"))
        (void)requireOptions(o, {"from", "to", "ship"}, common + criteria, error);
    else if (o.command == QLatin1String("hours") || o.command == QLatin1String("changes"))
        (void)requireOptions(o, {"file", "ship"}, common, error);
    else if (o.command == QLatin1String("kml"))
        (void)requireOptions(o, {"file", "ship"}, common + QStringList{"name", "altitude", "out"}, error);
    else if (o.command == QLatin1String("records"))
        (void)requireOptions(o, {"from", "to"}, common + QStringList{"format", "out"} + criteria, error);
    else if (o.command == QLatin1String("track"))
        (void)requireOptions(o, {"file", "ship", "format"}, common + QStringList{"name", "utc-offset", "out"}, error);
    else if (o.command == QLatin1String("passages"))
        (void)requireOptions(o, {"from", "to"},
                             common + criteria + QStringList{"gap", "format", "count", "utc-offset", "out"}, error);
    else if (o.command == QLatin1String("map")) {
        if (requireOptions(o, {"out"}, common + QStringList{"file", "ship", "name", "track", "size", "area"}, error)) {
            if (o.values.contains("file") != o.values.contains("ship"))
                error = QStringLiteral("map takes --file and --ship together");
            else if (!o.values.contains("file") && !o.values.contains("track"))
                error = QStringLiteral("map needs --file and --ship, or --track");
            else if (o.values.contains("name") && !o.values.contains("ship"))
                error = QStringLiteral("--name goes with --ship");
        }
    }
    else if (o.command == QLatin1String("index")) {
        if (requireOptions(o, {}, common + QStringList{"from", "to", "worker"}, error) && o.noIndex)
            error = QStringLiteral("--no-index does not go with index");
    }
    else
        error = o.command.isEmpty() ? QStringLiteral("no command given")
                                    : QStringLiteral("unknown command '%1'").arg(o.command);
    if (!error.isEmpty())
        return usageError(error, o.command);
    if (o.areas.size() > 3)
        return usageError(QStringLiteral("at most three --area options (A, B, C)"), o.command);
    for (const QString &area : o.areas) {
        if (!isArea(area))
            return usageError(QStringLiteral("--area takes three numbers LAT,LON,RANGE, not '%1'").arg(area), o.command);
    }
    if (!checkPeriod(o, error))
        return usageError(error, o.command);
    // "-" is standard output, as in most tools; never a file of that name.
    if (o.values.value("out") == QLatin1String("-"))
        o.values.remove("out");
    int altitude = 0;
    if (o.values.contains("altitude")) {
        const QString a = o.values.value("altitude");
        if (a != "0" && a != "1" && a != "2")
            return usageError(QStringLiteral("--altitude takes 0, 1 or 2"), o.command);
        altitude = a.toInt();
    }
    const QString format = o.values.value("format");
    Module1::RecordFormat recordFormat = Module1::RecordFormat::Csv;
    if (o.command == QLatin1String("records")) {
        if (format == "jsonl")
            recordFormat = Module1::RecordFormat::Jsonl;
        else if (format == "geojson")
            recordFormat = Module1::RecordFormat::GeoJson;
        else if (o.values.contains("format") && format != "csv")
            return usageError(QStringLiteral("records --format takes csv, jsonl or geojson"), o.command);
    } else if (o.command == QLatin1String("track") && format != "gpx" && format != "geojson") {
        return usageError(QStringLiteral("track --format takes gpx or geojson"), o.command);
    }
    std::optional<int> utcOffset;
    if (o.values.contains("utc-offset")) {
        utcOffset = Module1::parseUtcOffset(o.values.value("utc-offset"));
        if (!utcOffset)
            return usageError(QStringLiteral("--utc-offset takes +HH:MM or -HH:MM, at most 14:00"), o.command);
    }

    const QString logs = o.values.value("logs", QStringLiteral("../logs"));
    const QFileInfo logInfo(logs);
    // A map of a file alone reads no logs.
    const bool readsLogs = o.command != QLatin1String("map") || o.values.contains("file");
    if (readsLogs && (!logInfo.isDir() || !logInfo.isReadable())) {
        std::fprintf(stderr, "velkais-log: cannot read the log folder %s: %s\n", logs.toUtf8().constData(),
                     logInfo.exists() ? "not a readable folder" : "no such folder");
        return Unreadable;
    }

    startEngineOn(logs);
    CliHost host;
    host.quiet = o.quiet;
    Module1::setHost(&host);
    std::unique_ptr<Index::SqliteDayIndex> index;
    if (!o.noIndex) {
        index = std::make_unique<Index::SqliteDayIndex>(o.values.value("index-dir"));
        Module1::setDayIndex(index.get());
    }
    if (o.command == QLatin1String("index")) {
        IndexRun run;
        run.folder = Module1::logFolder;
        run.from = o.values.value("from");
        run.to = o.values.value("to");
        run.indexDir = o.values.value("index-dir");
        run.worker = o.values.contains("worker");
        run.jobs = Module1::readJobs();
        return indexCommand(run, *index, host);
    }

    if (o.command == QLatin1String("map")) {
        const QString file = o.values.value("file");
        if (!file.isEmpty() && !QFileInfo(Module1::logFolder + file).isFile()) {
            std::fprintf(stderr, "velkais-log: %s\n",
                         Module1::skippedFileText(Module1::logFolder + file, QStringLiteral("no such file"))
                             .toUtf8().constData());
            return Unreadable;
        }
        const int status = mapCommand({file, o.values.value("ship"), o.values.value("name"), o.values.value("track"),
                                       o.areas, o.values.value("out"), o.values.value("size")});
        if (status == Success && host.fileSkipped)
            return Unreadable;
        return status;
    }

    host.first = o.values.value("from");
    host.last = o.values.value("to");
    host.given.mmsi = o.values.value("mmsi").toStdString();
    for (int k = 0; k < o.areas.size(); ++k) {
        // The three field texts, read by the leading-number rule like the window's fields.
        const QStringList parts = o.areas[k].split(QLatin1Char(','));
        host.given.areaOn[k] = true;
        host.given.latitude[k] = Module1::leadingNumber(parts.value(0));
        host.given.longitude[k] = Module1::leadingNumber(parts.value(1));
        host.given.range[k] = Module1::leadingNumber(parts.value(2));
    }
    host.altitude = altitude;

    const QString ship = o.values.value("ship");
    const QString file = o.values.value("file");
    const bool terminal = stderrIsTerminal();
    QByteArray output;

    if (o.command == QLatin1String("search") || o.command == QLatin1String("days") ||
        o.command == QLatin1String("records") || o.command == QLatin1String("passages")) {
        int total = 0;
        for (const QString &name : Platform::listFiles(Module1::logFolder, Module1::kLogSuffix)) {
            const QString date = Module1::leftChars(name, 8);
            total += host.first <= date && date <= host.last;
        }
        host.startProgress(total, terminal);
        if (o.command == QLatin1String("search")) {
            Module1::searchCommand();
            output = lines(host.ships);
        } else if (o.command == QLatin1String("passages")) {
            const int status = passagesCommand(o.values, utcOffset, host, error);
            host.endProgress();
            if (!error.isEmpty())
                return usageError(error, o.command);
            if (status != Success)
                return status;
        } else if (o.command == QLatin1String("records")) {
            if (!writeRecords(recordFormat, o.values.value("out"), host) ||
                (recordFormat == Module1::RecordFormat::Csv && !host.fileSkipped &&
                 !writeCsvTypes(o.values.value("out")))) {
                host.endProgress();
                return Unreadable;
            }
        } else {
            host.ships = {ship};
            host.shipSelected = 0;
            Module1::shipSelection();
            output = lines(host.files);
        }
        host.endProgress();
    } else {
        if (!QFileInfo(Module1::logFolder + file).isFile()) {
            std::fprintf(stderr, "velkais-log: %s\n",
                         Module1::skippedFileText(Module1::logFolder + file, QStringLiteral("no such file"))
                             .toUtf8().constData());
            return Unreadable;
        }
        const QString name = o.values.value("name");
        host.ships = {ship + QLatin1Char(' ') + name};
        host.shipSelected = 0;
        host.files = {file};
        host.fileSelected = 0;
        if (o.command == QLatin1String("hours")) {
            host.choice = Module1::ViewChoice::Chart;
            Module1::openView();
            for (int h = 0; h <= 24; ++h)
                output += QStringLiteral("%1 %2\n").arg(h, 2, 10, QLatin1Char('0')).arg(Module1::view.hourCount[h]).toUtf8();
        } else if (o.command == QLatin1String("changes")) {
            host.choice = Module1::ViewChoice::Changes;
            Module1::openView();
            output = host.changeList.toUtf8();
        } else if (o.command == QLatin1String("kml")) {
            host.choice = Module1::ViewChoice::Kml;
            Module1::openView();
            output = Module1::kmlDocument(name, file);
        } else {
            const Module1::Track track = Module1::readTrack(file, ship, name);
            output = format == "gpx" ? Module1::gpxTrack(track, utcOffset) : Module1::geoJsonTrack(track, utcOffset);
        }
        // Only kml and track take --out.
        // Like standard output, a device or pipe gets what there is; a file
        // is replaced only by a run that exits 0.
        if (o.values.contains("out") && host.fileSkipped &&
            Platform::OutputFile::replacedOnCommit(o.values.value("out"))) {
            reportOutputKept(o.values.value("out"));
            output.clear();
        } else if (o.values.contains("out")) {
            QString why;
            if (!Platform::writeFileAtomically(o.values.value("out"), output, &why)) {
                std::fprintf(stderr, "velkais-log: cannot write %s: %s\n",
                             o.values.value("out").toUtf8().constData(), why.toUtf8().constData());
                return Unreadable;
            }
            output.clear();
        }
    }

    if (!writeOut(output)) {
        std::fprintf(stderr, "velkais-log: cannot write the results\n");
        return Unreadable;
    }
    // The window's notice line, as one line at the end.
    if (Module1::passReport.noteworthy())
        std::fprintf(stderr, "velkais-log: %s\n", Module1::passNotice(Module1::passReport).toUtf8().constData());
    if (host.limitReached)
        return Limit;
    if (host.fileSkipped)
        return Unreadable;
    return Success;
}

} // namespace

int main(int argc, char **argv)
{
    // The map is painted with QtGui, which needs a platform for its fonts but
    // no display: every other command stays a plain core application.
    bool map = false;
    for (int i = 1; i < argc; ++i)
        map |= std::strcmp(argv[i], "map") == 0;
    if (map) {
        Platform::useOffscreenPlatform();
        // Cron jobs and root shells have no XDG_RUNTIME_DIR. The offscreen
        // platform needs none, but Qt warns at every start, and cron would
        // mail that line every night.
        static const QtMessageHandler qtHandler = qInstallMessageHandler(nullptr);
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
            if (!text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
                qtHandler(type, context, text);
        });
    }
    std::unique_ptr<QCoreApplication> application =
        map ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication &app = *application;
#ifdef _WIN32
    // Bytes as written: a text-mode stdout would turn the CSV's and the KML's
    // CR LF into CR CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    QStringList args = app.arguments();
    args.removeFirst();
    return run(args);
}

// velkais-log: the browser's searches and views for scripts and cron jobs.
// It runs the same engine as the window, with the criteria taken from options.
#include "clihost.h"
#include "records.h"
#include "engine/export.h"
#include "engine/module1.h"
#include "index/sqlitedayindex.h"
#include "indexcommand.h"
#include "engine/numbers.h"
#include "engine/text.h"
#include "platform/files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QThread>

#include <memory>

#include <cstdio>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

enum Exit { Success = 0, Unreadable = 1, Usage = 2, Limit = 3 };

// Shaped as help2man reads it: "Usage:" and "or:" lines make the manual
// page's synopsis, "Options:" its option list.
const char *const kUsage =
    "Usage: velkais-log search  [--logs DIR] --from TEXT --to TEXT [--mmsi TEXT] [--area LAT,LON,RANGE]...\n"
    "  or:  velkais-log days    [--logs DIR] --from TEXT --to TEXT --ship MMSI [--mmsi TEXT] [--area LAT,LON,RANGE]...\n"
    "  or:  velkais-log hours   [--logs DIR] --file NAME --ship MMSI\n"
    "  or:  velkais-log changes [--logs DIR] --file NAME --ship MMSI\n"
    "  or:  velkais-log kml     [--logs DIR] --file NAME --ship MMSI [--name TEXT] [--altitude 0|1|2] [--out FILE]\n"
    "  or:  velkais-log records [--logs DIR] --from TEXT --to TEXT [--mmsi TEXT] [--area LAT,LON,RANGE]... [--format csv|jsonl|geojson] [--out FILE]\n"
    "  or:  velkais-log track   [--logs DIR] --file NAME --ship MMSI [--name TEXT] --format gpx|geojson [--utc-offset +HH:MM] [--out FILE]\n"
    "  or:  velkais-log index   [--logs DIR] [--from TEXT] [--to TEXT] [--jobs N]\n"
    "\n"
    "Options:\n"
    "  --logs DIR              folder of the day logs (default ../logs)\n"
    "  --from TEXT             first date of the period, compared as text with the file names\n"
    "  --to TEXT               last date of the period (inclusive; empty takes no file)\n"
    "  --mmsi TEXT             only this MMSI (default: any ship)\n"
    "  --area LAT,LON,RANGE    switch on the next area (A, B, C): a square of +-RANGE degrees\n"
    "  --ship MMSI             the ship whose days (days) or whose view (hours, changes, kml, track) is wanted\n"
    "  --file NAME             the day log of the view or track, a file name in the log folder\n"
    "  --name TEXT             the ship name written into the KML document or the track\n"
    "  --altitude 0|1|2        KML altitude: speed x10+1, speed x100+1, or constant 10 (default 0)\n"
    "  --format FORMAT         records: csv (default), jsonl or geojson; track: gpx or geojson\n"
    "  --utc-offset +HH:MM     the station clock's offset from UTC: GPX points get a UTC <time>\n"
    "  --out FILE              write the document or records to FILE instead of standard output\n"
    "  --quiet                 no line for each log file that could not be read (the summary line and the exit status stay)\n"
    "  --jobs N                index: files read at once, in as many processes (default: one per core)\n"
    "  --index-dir DIR         keep the day index in DIR instead of the user's cache folder\n"
    "  --no-index              read every file; neither use nor update the day index\n"
    "  --help                  this text\n"
    "  --version               the version of the tool\n"
    "\n"
    "Exit status: 0 success, 1 a log folder or file could not be read (or the output written), 2 usage error,\n"
    "3 the limit of 1000 results was reached (the results so far are printed).\n";

int usageError(const QString &what)
{
    std::fprintf(stderr, "velkais-log: %s\n%s", what.toUtf8().constData(), kUsage);
    return Usage;
}

struct Options
{
    QString command;
    QMap<QString, QString> values;
    QStringList areas;
    bool quiet = false;
    bool noIndex = false;
};

// Options as "--name value" or "--name=value"; --area may repeat.
bool parse(const QStringList &args, Options &o, QString &error)
{
    static const QStringList known = {"logs", "from", "to",  "mmsi", "area",      "ship",  "file",   "name",
                                      "altitude", "out", "format", "utc-offset", "jobs", "index-dir", "worker"};
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
        std::fputs(kUsage, stdout);
        return Success;
    }
    if (args.contains(QLatin1String("--version"))) {
        std::fputs("velkais-log " VELKAIS_VERSION "\n", stdout);
        return Success;
    }
    if (!parse(args, o, error))
        return usageError(error);

    const QStringList criteria = {"mmsi", "area"};
    const QStringList common = {"logs", "index-dir"};
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
    else if (o.command == QLatin1String("index")) {
        if (requireOptions(o, {}, common + QStringList{"from", "to", "jobs", "worker"}, error) && o.noIndex)
            error = QStringLiteral("--no-index does not go with index");
    }
    else
        error = o.command.isEmpty() ? QStringLiteral("no command given")
                                    : QStringLiteral("unknown command '%1'").arg(o.command);
    if (!error.isEmpty())
        return usageError(error);
    if (o.areas.size() > 3)
        return usageError(QStringLiteral("at most three --area options (A, B, C)"));
    int altitude = 0;
    if (o.values.contains("altitude")) {
        const QString a = o.values.value("altitude");
        if (a != "0" && a != "1" && a != "2")
            return usageError(QStringLiteral("--altitude takes 0, 1 or 2"));
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
            return usageError(QStringLiteral("records --format takes csv, jsonl or geojson"));
    } else if (o.command == QLatin1String("track") && format != "gpx" && format != "geojson") {
        return usageError(QStringLiteral("track --format takes gpx or geojson"));
    }
    std::optional<int> utcOffset;
    if (o.values.contains("utc-offset")) {
        utcOffset = Module1::parseUtcOffset(o.values.value("utc-offset"));
        if (!utcOffset)
            return usageError(QStringLiteral("--utc-offset takes +HH:MM or -HH:MM, at most 14:00"));
        if (format != "gpx")
            return usageError(QStringLiteral("--utc-offset goes with --format gpx"));
    }

    const QString logs = o.values.value("logs", QStringLiteral("../logs"));
    const QFileInfo logInfo(logs);
    if (!logInfo.isDir() || !logInfo.isReadable()) {
        std::fprintf(stderr, "velkais-log: cannot read the log folder %s: %s\n", logs.toUtf8().constData(),
                     logInfo.exists() ? "not a readable folder" : "no such folder");
        return Unreadable;
    }

    Module1::resetState();
    // Windows users type D:\archive\logs\; the engine joins names with '/'.
    const QString folder = QDir::fromNativeSeparators(logs);
    Module1::logFolder = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    Module1::kmlFilePath.clear();
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
        bool jobsOk = true;
        run.jobs = o.values.contains("jobs") ? o.values.value("jobs").toInt(&jobsOk) : QThread::idealThreadCount();
        if (!jobsOk || run.jobs < 1)
            return usageError(QStringLiteral("--jobs takes a number of 1 or more"));
        return indexCommand(run, *index, host);
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
        o.command == QLatin1String("records")) {
        int total = 0;
        for (const QString &name : Platform::listFiles(Module1::logFolder, Module1::kLogSuffix)) {
            const QString date = Module1::leftChars(name, 8);
            total += host.first <= date && date <= host.last;
        }
        host.startProgress(total, terminal);
        if (o.command == QLatin1String("search")) {
            Module1::searchCommand();
            output = lines(host.ships);
        } else if (o.command == QLatin1String("records")) {
            if (!writeRecords(recordFormat, o.values.value("out"))) {
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
            output = format == "gpx" ? Module1::gpxTrack(track, utcOffset) : Module1::geoJsonTrack(track);
        }
        // Only kml and track take --out.
        if (o.values.contains("out")) {
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
    if (!Module1::passReport.complete())
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
    QCoreApplication app(argc, argv);
#ifdef _WIN32
    // Bytes as written: a text-mode stdout would turn the CSV's and the KML's
    // CR LF into CR CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    QStringList args = app.arguments();
    args.removeFirst();
    return run(args);
}

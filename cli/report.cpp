#include "report.h"

#include "clihost.h"
#include "records.h"
#include "engine/export.h"
#include "engine/module1.h"
#include "engine/report.h"
#include "engine/text.h"
#include "index/sqlitedayindex.h"
#include "platform/files.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>
#include <memory>

namespace {

enum Exit { Success = 0, Unreadable = 1, Usage = 2 };
enum Check { Ok = 0, Warning = 1, Critical = 2, Unknown = 3 };

// In the monitoring plugins' convention a check that cannot run says
// UNKNOWN, whatever the reason; otherwise the usual usage line.
int usage(const ReportArgs &a, const QString &what)
{
    if (a.check) {
        std::printf("UNKNOWN - %s\n", what.toUtf8().constData());
        return Unknown;
    }
    std::fprintf(stderr, "velkais-log: %s\nTry 'velkais-log report --help'.\n", what.toUtf8().constData());
    return Usage;
}

// "30m", "2h", "90s" or plain minutes.
int durationSeconds(const QString &text)
{
    static const QRegularExpression form(QStringLiteral(R"(^\s*(\d{1,6})\s*([smh]?)\s*$)"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return -1;
    const int n = m.captured(1).toInt();
    const QString unit = m.captured(2);
    return unit == QLatin1String("s") ? n : unit == QLatin1String("h") ? n * 3600 : n * 60;
}

QDateTime nowOf(const ReportArgs &a, bool &ok)
{
    ok = true;
    if (!a.values.contains("now"))
        return QDateTime::currentDateTime();
    QDateTime t = QDateTime::fromString(a.values.value("now"), Qt::ISODate);
    ok = t.isValid();
    return QDateTime(t.date(), t.time());
}

// Counts the records of the last stretch of time, through the export pass:
// the same reader and records as every pass, no criteria.
class RecentRecords : public Module1::RecordSink
{
public:
    RecentRecords(const QDateTime &from, const QDateTime &now) : m_from(from), m_now(now) {}
    bool take(const Module1::CurrentRecord &rec, const QString &fileName) override
    {
        const int second = Module1::secondOfDay(rec.recTime);
        const QDate date = QDate::fromString(fileName.left(8), QStringLiteral("yyyyMMdd"));
        if (second < 0 || !date.isValid())
            return false;
        const QDateTime t(date, QTime(0, 0).addSecs(second));
        if (t > m_now)
            return false;
        if (!lastHeard.isValid() || t > lastHeard)
            lastHeard = t;
        if (t >= m_from) {
            ++records;
            if (Module1::isFixedStation(Module1::mmsiKind(rec.recMmsi)))
                ++fixed;
        }
        return false;
    }
    long long records = 0, fixed = 0;
    QDateTime lastHeard;

private:
    QDateTime m_from, m_now;
};

// One line on standard output, in UTF-8 whatever the platform's C library.
void line(const QString &text)
{
    std::fputs((text + QLatin1Char('\n')).toUtf8().constData(), stdout);
}

int check(const ReportArgs &a, CliHost &host)
{
    if (!a.values.contains("last"))
        return usage(a, QStringLiteral("report --check needs --last DURATION (30m, 2h, 600s)"));
    for (const char *other : {"from", "to", "compare", "station", "format", "out", "outline", "silence", "max-range"}) {
        if (a.values.contains(QLatin1String(other)))
            return usage(a, QStringLiteral("--%1 does not go with report --check").arg(QLatin1String(other)));
    }
    const int window = durationSeconds(a.values.value("last"));
    if (window <= 0 || window > 86400)
        return usage(a, QStringLiteral("--last takes a duration of up to a day: 30m, 2h, 600s"));
    bool ok = true;
    const QDateTime now = nowOf(a, ok);
    if (!ok)
        return usage(a, QStringLiteral("--now takes yyyy-MM-ddTHH:mm:ss"));
    const QDateTime from = now.addSecs(-window);
    // Today's log and, for a stretch over midnight or a log that has not yet
    // begun, yesterday's: what was heard last is named either way.
    host.first = now.date().addDays(-1).toString(QStringLiteral("yyyyMMdd"));
    host.last = now.date().toString(QStringLiteral("yyyyMMdd"));
    RecentRecords recent(from, now);
    Module1::exportPeriod(recent);
    const QString minutes = window % 60 ? QStringLiteral("%1 s").arg(window) : QStringLiteral("%1 min").arg(window / 60);
    const QString perf = QStringLiteral(" | records=%1;;;0 fixed_station_records=%2;;;0").arg(recent.records).arg(recent.fixed);
    if (host.fileSkipped && recent.records == 0) {
        std::printf("UNKNOWN - the day log could not be read: %s\n", Module1::passNotice(Module1::passReport).toUtf8().constData());
        return Unknown;
    }
    if (recent.records == 0) {
        const QString since = !recent.lastHeard.isValid() ? QStringLiteral("nothing heard since %1 00:00 (no record in its day log or the day before's)").arg(host.first)
                              : recent.lastHeard.date() == now.date() ? QStringLiteral("nothing heard since %1").arg(recent.lastHeard.toString(QStringLiteral("HH:mm")))
                              : QStringLiteral("nothing heard since %1").arg(recent.lastHeard.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
        std::printf("CRITICAL - %s%s\n", since.toUtf8().constData(), perf.toUtf8().constData());
        return Critical;
    }
    if (recent.records == recent.fixed) {
        line(QStringLiteral("WARNING - only base stations and aids to navigation heard in the last %1: %2 records, no ship%3")
                 .arg(minutes).arg(recent.records).arg(perf));
        return Warning;
    }
    line(QStringLiteral("OK - %1 records in the last %2%3").arg(recent.records).arg(minutes, perf));
    return Ok;
}

bool isPeriodText(const QString &t)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,8}$"));
    return digits.match(t).hasMatch();
}

// One period's report: the pass over its days, and the figures to the report.
bool periodReport(CliHost &host, const QString &from, const QString &to, const QDateTime &now,
                  const Module1::ReportOptions &options, Module1::StationReport &report)
{
    Module1::PeriodFigures figures;
    if (!Module1::periodDates(from, to, now.date(), figures.first, figures.last))
        return false;
    figures.now = now;
    host.first = from;
    host.last = to;
    int total = 0;
    for (const QString &name : Platform::listFiles(Module1::logFolder, Module1::kLogSuffix)) {
        const QString date = Module1::leftChars(name, 8);
        total += from <= date && date <= to;
    }
    host.startProgress(total, stderrIsTerminal());
    Module1::stationPass(figures);
    host.endProgress();
    report = Module1::computeReport(figures, options);
    return true;
}

bool writeTo(const QString &path, const QByteArray &bytes, const CliHost &host)
{
    if (path.isEmpty() || path == QLatin1String("-"))
        return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size()) &&
               std::fflush(stdout) == 0;
    if (host.fileSkipped && Platform::OutputFile::replacedOnCommit(path)) {
        reportOutputKept(path);
        return true;
    }
    QString why;
    if (Platform::writeFileAtomically(path, bytes, &why))
        return true;
    std::fprintf(stderr, "velkais-log: cannot write %s: %s\n", path.toUtf8().constData(), why.toUtf8().constData());
    return false;
}

} // namespace

int reportCommand(const ReportArgs &a)
{
    for (const QString &key : a.values.keys()) {
        static const QStringList allowed = {"logs", "index-dir", "jobs", "from", "to", "station", "compare", "format", "out",
                                            "outline", "silence", "max-range", "last", "now"};
        if (!allowed.contains(key))
            return usage(a, QStringLiteral("--%1 does not go with report").arg(key));
    }
    if (!a.check && a.values.contains("last"))
        return usage(a, QStringLiteral("--last goes with --check"));

    const QString logs = a.values.value("logs", QStringLiteral("../logs"));
    const QFileInfo logInfo(logs);
    if (!logInfo.isDir() || !logInfo.isReadable()) {
        const char *why = logInfo.exists() ? "not a readable folder" : "no such folder";
        if (a.check) {
            std::printf("UNKNOWN - cannot read the log folder %s: %s\n", logs.toUtf8().constData(), why);
            return Unknown;
        }
        if (a.values.contains("from") && a.values.contains("to")) {
            std::fprintf(stderr, "velkais-log: cannot read the log folder %s: %s\n", logs.toUtf8().constData(), why);
            return Unreadable;
        }
    }

    startEngineOn(logs);
    CliHost host;
    host.quiet = a.quiet;
    Module1::setHost(&host);
    if (a.check)
        return check(a, host);

    for (const char *bound : {"from", "to"}) {
        if (!a.values.contains(QLatin1String(bound)))
            return usage(a, QStringLiteral("report needs --%1").arg(QLatin1String(bound)));
        if (!isPeriodText(a.values.value(QLatin1String(bound))))
            return usage(a, QStringLiteral("--%1 '%2' matches no day log name: give yyyymmdd, or its first digits")
                                .arg(QLatin1String(bound), a.values.value(QLatin1String(bound))));
    }
    Module1::ReportOptions options;
    const QString stationText = a.values.contains("station") ? a.values.value("station") : qEnvironmentVariable("VELKAIS_STATION");
    if (!stationText.isEmpty()) {
        options.station = Module1::parseStation(stationText);
        if (!options.station)
            return usage(a, QStringLiteral("%1 takes LAT,LON in decimal degrees, not '%2'")
                                .arg(a.values.contains("station") ? QStringLiteral("--station") : QStringLiteral("VELKAIS_STATION"), stationText));
    }
    if (a.values.contains("silence")) {
        bool ok = false;
        options.silenceMinutes = a.values.value("silence").toInt(&ok);
        if (!ok || options.silenceMinutes < 1 || options.silenceMinutes > 1440)
            return usage(a, QStringLiteral("--silence takes whole minutes, 1 to 1440"));
    }
    if (a.values.contains("max-range")) {
        bool ok = false;
        options.maxRangeNm = a.values.value("max-range").toDouble(&ok);
        if (!ok || !(options.maxRangeNm > 0) || options.maxRangeNm > 5400)
            return usage(a, QStringLiteral("--max-range takes nautical miles, more than 0 and at most 5400"));
    }
    const QString format = a.values.value("format", QStringLiteral("text"));
    if (format != "text" && format != "csv" && format != "json")
        return usage(a, QStringLiteral("report --format takes text, csv or json"));
    const QString outline = a.values.value("outline");
    const bool kml = outline.endsWith(QLatin1String(".kml"), Qt::CaseInsensitive);
    if (a.values.contains("outline")) {
        if (!kml && !outline.endsWith(QLatin1String(".geojson"), Qt::CaseInsensitive) &&
            !outline.endsWith(QLatin1String(".json"), Qt::CaseInsensitive))
            return usage(a, QStringLiteral("--outline takes a file name ending in .geojson, .json or .kml"));
        if (!options.station)
            return usage(a, QStringLiteral("--outline needs the station's position: --station LAT,LON or VELKAIS_STATION"));
    }
    QStringList compare;
    if (a.values.contains("compare")) {
        compare = a.values.value("compare").split(QLatin1Char(','));
        if (compare.size() != 2 || !isPeriodText(compare[0]) || !isPeriodText(compare[1]))
            return usage(a, QStringLiteral("--compare takes FROM,TO as --from and --to"));
    }
    bool nowOk = true;
    const QDateTime now = nowOf(a, nowOk);
    if (!nowOk)
        return usage(a, QStringLiteral("--now takes yyyy-MM-ddTHH:mm:ss"));
    if (!logInfo.isDir() || !logInfo.isReadable()) {
        std::fprintf(stderr, "velkais-log: cannot read the log folder %s: %s\n", logs.toUtf8().constData(),
                     logInfo.exists() ? "not a readable folder" : "no such folder");
        return Unreadable;
    }

    std::unique_ptr<Index::SqliteDayIndex> index;
    if (!a.noIndex) {
        index = std::make_unique<Index::SqliteDayIndex>(a.values.value("index-dir"));
        Module1::setDayIndex(index.get());
    }
    Module1::StationReport report, second;
    if (!periodReport(host, a.values.value("from"), a.values.value("to"), now, options, report))
        return usage(a, QStringLiteral("no day lies between --from '%1' and --to '%2'").arg(a.values.value("from"), a.values.value("to")));
    if (!compare.isEmpty() && !periodReport(host, compare[0], compare[1], now, options, second))
        return usage(a, QStringLiteral("no day lies in --compare '%1'").arg(a.values.value("compare")));
    Module1::setDayIndex(nullptr);

    const Module1::StationReport *other = compare.isEmpty() ? nullptr : &second;
    const QByteArray out = format == "json"  ? Module1::reportJson(report, other, a.rejected)
                           : format == "csv" ? Module1::reportCsv(report, other, a.rejected)
                                             : Module1::reportText(report, other, a.rejected);
    bool written = writeTo(a.values.value("out"), out, host);
    if (!outline.isEmpty())
        written = writeTo(outline, kml ? Module1::outlineKml(report, other) : Module1::outlineGeoJson(report, other), host) && written;
    if (Module1::passReport.noteworthy())
        std::fprintf(stderr, "velkais-log: %s\n", Module1::passNotice(Module1::passReport).toUtf8().constData());
    return !written || host.fileSkipped ? Unreadable : Success;
}

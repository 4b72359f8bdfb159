#include "passages.h"

#include "clihost.h"
#include "records.h"
#include "engine/passageformat.h"
#include "engine/passages.h"
#include "platform/files.h"

#include <cstdio>

int passagesCommand(const QMap<QString, QString> &values, std::optional<int> utcOffsetMinutes, CliHost &host,
                    QString &usageError)
{
    using namespace Module1;
    const QString format = values.value("format", QStringLiteral("text"));
    const QString count = values.value("count");
    PassageFormat passageFormat = PassageFormat::Text;
    if (format == QLatin1String("csv"))
        passageFormat = PassageFormat::Csv;
    else if (format == QLatin1String("jsonl") && count.isEmpty())
        passageFormat = PassageFormat::Jsonl;
    else if (format == QLatin1String("geojson") && count.isEmpty())
        passageFormat = PassageFormat::GeoJson;
    else if (format != QLatin1String("text")) {
        usageError = count.isEmpty() ? QStringLiteral("passages --format takes text, csv, jsonl or geojson")
                                     : QStringLiteral("passages --count prints text or csv");
        return 2;
    }
    Bucket bucket = Bucket::Day;
    if (count == QLatin1String("hour"))
        bucket = Bucket::Hour;
    else if (count == QLatin1String("month"))
        bucket = Bucket::Month;
    else if (values.contains("count") && count != QLatin1String("day")) {
        usageError = QStringLiteral("--count takes hour, day or month");
        return 2;
    }
    PassageOptions options;
    if (values.contains("gap")) {
        bool ok = false;
        options.gapMinutes = values.value("gap").toInt(&ok);
        if (!ok || options.gapMinutes < 1 || options.gapMinutes > kMaxGapMinutes) {
            usageError = QStringLiteral("--gap takes minutes from 1 to %1").arg(kMaxGapMinutes);
            return 2;
        }
    }
    const Criteria criteria = host.criteria();
    if (!criteria.areaOn[0] && !criteria.areaOn[1] && !criteria.areaOn[2]) {
        usageError = QStringLiteral("passages needs at least one --area");
        return 2;
    }
    options.keepPoints = passageFormat == PassageFormat::GeoJson;

    const std::vector<Passage> passages = passagesPeriod(options);
    const QByteArray output = values.contains("count")
                                  ? formatCounts(countPassages(passages, bucket, utcOffsetMinutes), passageFormat)
                                  : formatPassages(passages, passageFormat, utcOffsetMinutes);

    const QString out = values.value("out");
    if (out.isEmpty()) {
        if (std::fwrite(output.constData(), 1, size_t(output.size()), stdout) != size_t(output.size()) ||
            std::fflush(stdout) != 0) {
            std::fprintf(stderr, "velkais-log: cannot write the results\n");
            return 1;
        }
        return 0;
    }
    // As for records: a regular file only from a run that read everything.
    if (host.fileSkipped && Platform::OutputFile::replacedOnCommit(out)) {
        reportOutputKept(out);
        return 0;
    }
    QString why;
    if (!Platform::writeFileAtomically(out, output, &why)) {
        std::fprintf(stderr, "velkais-log: cannot write %s: %s\n", out.toUtf8().constData(), why.toUtf8().constData());
        return 1;
    }
    return 0;
}

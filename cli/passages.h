#pragma once

#include <QMap>
#include <QString>

#include <optional>

class CliHost;

// velkais-log passages: the passages of the host's period, MMSI and areas, or
// with --count their number per area, time bucket and sides crossed. The
// option values are the ones given on the command line (format, count, gap,
// out). An empty `usageError` on return means the options were sound; then
// the result is the exit status the run's output deserves so far (0, or 1
// when the output could not be written).
int passagesCommand(const QMap<QString, QString> &values, std::optional<int> utcOffsetMinutes, CliHost &host,
                    QString &usageError);

#pragma once

#include <QMap>
#include <QString>

// velkais-log report: the station's reception report over a period, and
// report --check, one line for a monitoring system.
struct ReportArgs
{
    QMap<QString, QString> values; // the options with a value, by name
    bool rejected = false;
    bool check = false;
    bool quiet = false;
    bool noIndex = false;
};

// Runs the whole subcommand, from checking its options to the exit status:
// 0 to 2 as every subcommand, or with --check the monitoring plugins'
// 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.
int reportCommand(const ReportArgs &args);

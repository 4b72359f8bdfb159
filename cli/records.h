#pragma once

#include "engine/export.h"

#include <QString>

class CliHost;

// Runs the export pass over the host's period and criteria and streams the
// records to `outPath` or, when it is empty, to standard output. A regular
// file at `outPath` is replaced only when every log file of the period was
// read: a run that exits non-zero leaves the old file as it was. False when
// the output could not be written; the reason is on standard error.
bool writeRecords(Module1::RecordFormat format, const QString &outPath, const CliHost &host);

// The line that says `outPath` was left as it was, for a run that did not
// read every log file.
void reportOutputKept(const QString &outPath);

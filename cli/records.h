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

// After a CSV written to `csvPath` with --out: GDAL's ".csvt" types file beside
// it (the CSV's extension replaced, as GDAL looks for it). Only a regular file
// outside the device folders gets one: standard output, /dev/stdout or a pipe
// has no "beside". False, with the reason on standard error, when it could not
// be written.
bool writeCsvTypes(const QString &csvPath);

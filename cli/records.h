#pragma once

#include "engine/export.h"

#include <QString>

// Runs the export pass over the host's period and criteria and streams the
// records to `outPath` (replaced only when all went well) or, when it is
// empty, to standard output. False when the output could not be written; the
// reason is on standard error.
bool writeRecords(Module1::RecordFormat format, const QString &outPath);

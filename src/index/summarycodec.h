#pragma once

#include "engine/dayindex.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace Index {

// A day summary as stored: a versioned little-endian record with a checksum,
// so a damaged or foreign value is recognised instead of misread.
QByteArray encodeSummary(const Module1::DaySummary &summary);
// Null for anything encodeSummary did not write.
std::unique_ptr<Module1::DaySummary> decodeSummary(const QByteArray &bytes);
// The checksum the last 8 bytes hold, of the bytes before them.
std::uint64_t summaryChecksum(const char *data, std::size_t size);

} // namespace Index

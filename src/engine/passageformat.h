#pragma once

#include "engine/passages.h"

#include <QByteArray>

#include <optional>
#include <vector>

// Passages and their counts as text for people and for other tools; the
// command line and the passages window's "Export CSV" write the same bytes.
namespace Module1 {

enum class PassageFormat { Text, Csv, Jsonl, GeoJson };

// Column names of the CSV, the keys of the JSON objects, in this order.
QStringList passageFields();
// One passage's values, as the CSV and the table give them ("" for none).
QStringList passageValues(const Passage &p, std::optional<int> utcOffsetMinutes);

QByteArray formatPassages(const std::vector<Passage> &passages, PassageFormat format,
                          std::optional<int> utcOffsetMinutes);
// Text or CSV only.
QByteArray formatCounts(const std::vector<PassageCount> &counts, PassageFormat format);

} // namespace Module1

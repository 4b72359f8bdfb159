#pragma once

#include <QByteArray>
#include <QString>

#include <array>

// The settings file keeps the nine area fields between runs, one "key=text"
// line each. Values are handled in key order, which is also the line order.
namespace SettingsFile {

inline const QString kFileName = QStringLiteral("VelkaisLogBrowser.ini");

inline constexpr std::size_t kCount = 9;
// Areas A, B, C: latitude, longitude, range.
inline const std::array<QString, kCount> kKeys = {
    QStringLiteral("Lati="), QStringLiteral("Long="), QStringLiteral("Rang="),
    QStringLiteral("Lat2="), QStringLiteral("Lon2="), QStringLiteral("Ran2="),
    QStringLiteral("Lat3="), QStringLiteral("Lon3="), QStringLiteral("Ran3="),
};
// The Text1 index of each key's field.
inline constexpr std::array<int, kCount> kFields = {4, 5, 6, 9, 10, 11, 12, 13, 14};

using Values = std::array<QString, kCount>;

// Applies the entries of the file at `path` to `values`. When the file cannot
// be read to its end, `values` is left as it was and `error` says why.
bool read(const QString &path, Values &values, QString *error);

// Writes the nine lines, replacing the file only once all of them are on disk.
bool write(const QString &path, const Values &values, QString *error);

} // namespace SettingsFile

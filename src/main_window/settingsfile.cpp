#include "main_window/settingsfile.h"

#include "platform/files.h"
#include "platform/itemreader.h"

#include <QStringList>

namespace SettingsFile {

bool read(const QString &path, Values &values, QString *error)
{
    Platform::ItemReader reader;
    if (!reader.open(path)) {
        if (error)
            *error = reader.errorString();
        return false;
    }
    Values result = values;
    std::string_view raw;
    while (reader.next(raw)) {
        const QString item = Platform::decodeText(QByteArray(raw.data(), static_cast<qsizetype>(raw.size())));
        // The first key found anywhere in the item decides, so "Long=Lati=5"
        // belongs to "Lati="; the value starts after the item's first "=",
        // whichever key that "=" belongs to.
        for (std::size_t k = 0; k < kCount; ++k) {
            if (item.contains(kKeys[k], Qt::CaseSensitive)) {
                result[k] = item.mid(item.indexOf(QLatin1Char('=')) + 1);
                break;
            }
        }
    }
    if (reader.failed()) {
        if (error)
            *error = reader.errorString();
        return false;
    }
    values = result;
    return true;
}

bool write(const QString &path, const Values &values, QString *error)
{
    QStringList lines;
    for (std::size_t k = 0; k < kCount; ++k)
        lines << kKeys[k] + values[k];
    return Platform::writeFileAtomically(path, Platform::crLfLines(lines), error);
}

} // namespace SettingsFile

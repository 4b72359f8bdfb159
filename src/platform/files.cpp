#include "platform/files.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>

namespace Platform {

QStringList listFiles(const QString &folder, const QString &suffix)
{
    QDir dir(folder);
    // Hidden files are left out by not asking for QDir::Hidden; on Linux and
    // macOS that is every name starting with ".".
    QStringList names = dir.entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&](const QString &n) { return !n.endsWith(suffix, Qt::CaseSensitive); }),
                names.end());
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return a.toUtf8() < b.toUtf8(); });
    return names;
}

bool fileExists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && info.isFile() && !info.isHidden();
}

bool writeFileAtomically(const QString &path, const QByteArray &content, QString *error)
{
    QSaveFile file(path);
    // A folder we may not create files in can still hold a file we may
    // rewrite: then the file is rewritten in place, without the safety of the
    // temporary file, rather than not saved at all.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (file.write(content) != content.size()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

QByteArray crLfLines(const QStringList &lines)
{
    QByteArray out;
    for (const QString &line : lines) {
        out += line.toUtf8();
        out += "\r\n";
    }
    return out;
}

QString decodeText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

QDate localDate()
{
    return QDate::currentDate();
}

} // namespace Platform

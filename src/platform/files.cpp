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

bool OutputFile::replacedOnCommit(const QString &path)
{
#ifdef Q_OS_UNIX
    // /dev/stdout and /dev/fd/N lead to /proc/self/fd/N, which names
    // whatever the shell opened, a regular file too: a file renamed over
    // it would no longer be the one the shell redirected to.
    QString step = QFileInfo(path).absoluteFilePath();
    for (int links = 0; links < 40 && !step.isEmpty(); ++links) {
        const QFileInfo info(step);
        const QString folder = info.absoluteDir().canonicalPath();
        if (folder == QLatin1String("/proc") || folder.startsWith(QLatin1String("/proc/")))
            return false;
        if (!info.isSymLink())
            break;
        step = info.symLinkTarget();
    }
#endif
    const QFileInfo info(path);
    return !info.exists() || info.isFile();
}

OutputFile::OutputFile(const QString &path)
    : m_path(path), m_inPlace(!replacedOnCommit(path)), m_replacement(path), m_target(path)
{
    // A folder we may not create files in can still hold a file we may
    // rewrite: then the file is rewritten in place, without the safety of the
    // temporary file, rather than not saved at all.
    m_replacement.setDirectWriteFallback(true);
}

bool OutputFile::open()
{
    if (!m_inPlace)
        return m_replacement.open(QIODevice::WriteOnly);
    // A regular file behind /dev/stdout is appended to, never truncated: the
    // shell has already decided between ">" and ">>". Unbuffered, as writers
    // gather their own blocks and a pipe's reader should see each one as it
    // is written.
    QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered;
    if (QFileInfo(m_path).isFile())
        mode |= QIODevice::Append;
    return m_target.open(mode);
}

QIODevice &OutputFile::device()
{
    if (m_inPlace)
        return m_target;
    return m_replacement;
}

bool OutputFile::commit()
{
    if (!m_inPlace)
        return m_replacement.commit();
    const bool ok = m_target.error() == QFileDevice::NoError && m_target.flush();
    m_target.close();
    return ok && m_target.error() == QFileDevice::NoError;
}

void OutputFile::cancel()
{
    if (m_inPlace) {
        m_target.close();
    } else if (m_replacement.isOpen()) {
        // Once cancelled, the commit only removes the temporary file, here
        // rather than whenever this object goes.
        m_replacement.cancelWriting();
        m_replacement.commit();
    }
}

QString OutputFile::errorString() const
{
    return m_inPlace ? m_target.errorString() : m_replacement.errorString();
}

bool writeFileAtomically(const QString &path, const QByteArray &content, QString *error)
{
    OutputFile file(path);
    if (file.open() && file.device().write(content) == content.size() && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    file.cancel();
    return false;
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

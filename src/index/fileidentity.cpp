#include "index/fileidentity.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Index {

#ifdef Q_OS_UNIX

namespace {

std::int64_t nanoseconds(const timespec &t)
{
    return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

} // namespace

bool identify(const QString &path, FileIdentity *identity)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    identity->size = std::int64_t(st.st_size);
#ifdef Q_OS_MACOS
    identity->modifiedNs = nanoseconds(st.st_mtimespec);
    identity->changedNs = nanoseconds(st.st_ctimespec);
#else
    identity->modifiedNs = nanoseconds(st.st_mtim);
    identity->changedNs = nanoseconds(st.st_ctim);
#endif
    identity->inode = std::int64_t(st.st_ino);
    identity->device = std::int64_t(st.st_dev);
    return true;
}

bool isReadable(const QString &path)
{
    return ::access(QFile::encodeName(path).constData(), R_OK) == 0;
}

#else

// Elsewhere Qt's file information: size and modification time to the
// millisecond, and the metadata change time where Qt has one.
bool identify(const QString &path, FileIdentity *identity)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return false;
    identity->size = info.size();
    identity->modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1000000;
    identity->changedNs = info.metadataChangeTime().toMSecsSinceEpoch() * 1000000;
    identity->inode = 0;
    identity->device = 0;
    return true;
}

bool isReadable(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly);
}

#endif

} // namespace Index

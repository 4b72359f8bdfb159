#include "index/fileidentity.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace Index {

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

} // namespace Index

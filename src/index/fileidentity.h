#pragma once

#include <QString>

#include <cstdint>

namespace Index {

// What tells one content of a file from another without reading it. A rewrite
// that puts the old modification time back still changes the change time (and
// usually the inode), so all of them are compared.
struct FileIdentity
{
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;   // modification time, nanoseconds since the epoch
    std::int64_t changedNs = 0;    // status change time where the platform has one, else 0
    std::int64_t inode = 0;        // or the platform's file id, else 0
    std::int64_t device = 0;

    bool operator==(const FileIdentity &) const = default;
};

// False when the file cannot be examined, or is not a regular file.
bool identify(const QString &path, FileIdentity *identity);

// True when the file can be opened for reading now.
bool isReadable(const QString &path);

} // namespace Index

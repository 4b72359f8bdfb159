#include "index/fileidentity.h"

#include <QDir>

#include <windows.h>

namespace Index {

namespace {

// FILETIME counts 100 ns steps from 1601; the index stores nanoseconds from 1970.
constexpr std::int64_t kUnixEpochIn100ns = 116444736000000000LL;

std::int64_t nanoseconds(LARGE_INTEGER t)
{
    return (t.QuadPart - kUnixEpochIn100ns) * 100;
}

// Opened for attributes only and sharing everything, so that looking at a log
// never stands in the way of the receiver writing, renaming or deleting it.
HANDLE openForAttributes(const QString &path, DWORD access)
{
    const QString native = QDir::toNativeSeparators(path);
    return CreateFileW(reinterpret_cast<const wchar_t *>(native.utf16()), access,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

// The change time is FILE_BASIC_INFO's ChangeTime, which any write or rename
// moves; the creation time QFileInfo may report instead would not notice a
// same-size copy that puts the old modification time back, as copy and
// robocopy do. The file id and the volume serial number stand for the inode
// and the device.
bool identify(const QString &path, FileIdentity *identity)
{
    HANDLE h = openForAttributes(path, FILE_READ_ATTRIBUTES);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    FILE_BASIC_INFO basic {};
    FILE_STANDARD_INFO standard {};
    const bool ok = GetFileType(h) == FILE_TYPE_DISK &&
                    GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) &&
                    GetFileInformationByHandleEx(h, FileStandardInfo, &standard, sizeof standard) &&
                    !standard.Directory;
    if (!ok) {
        CloseHandle(h);
        return false;
    }
    identity->size = standard.EndOfFile.QuadPart;
    identity->modifiedNs = nanoseconds(basic.LastWriteTime);
    identity->changedNs = nanoseconds(basic.ChangeTime);

    // ReFS ids are 128 bits wide; NTFS ids fill the low half only, so folding
    // the halves together keeps NTFS ids as they are.
    FILE_ID_INFO id {};
    if (GetFileInformationByHandleEx(h, FileIdInfo, &id, sizeof id)) {
        std::int64_t low = 0;
        std::int64_t high = 0;
        static_assert(sizeof id.FileId.Identifier == 2 * sizeof low);
        memcpy(&low, id.FileId.Identifier, sizeof low);
        memcpy(&high, id.FileId.Identifier + sizeof low, sizeof high);
        identity->inode = low ^ high;
        identity->device = std::int64_t(id.VolumeSerialNumber);
    } else {
        // Before Windows 8 (and on some network file systems) only the 64-bit id.
        BY_HANDLE_FILE_INFORMATION info {};
        if (!GetFileInformationByHandle(h, &info)) {
            CloseHandle(h);
            return false;
        }
        identity->inode = std::int64_t((std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
        identity->device = std::int64_t(info.dwVolumeSerialNumber);
    }
    CloseHandle(h);
    return true;
}

bool isReadable(const QString &path)
{
    HANDLE h = openForAttributes(path, GENERIC_READ);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

} // namespace Index

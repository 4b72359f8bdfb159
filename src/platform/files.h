#pragma once

#include <QByteArray>
#include <QDate>
#include <QFile>
#include <QSaveFile>
#include <QString>
#include <QStringList>

namespace Platform {

// Names of the normal files (regular, not hidden) in `folder` whose names end in
// `suffix`, compared case-sensitively on every platform, in byte order of the
// names. For names that begin with a yyyymmdd date that is date order.
// A missing folder, or a path that is a file, gives an empty list.
QStringList listFiles(const QString &folder, const QString &suffix);

// True when `path` names an existing regular file that is not hidden. A folder
// of that name, or a hidden file, counts as missing.
bool fileExists(const QString &path);

// A file a program writes whole. A regular file, or a name not taken yet, is
// written beside and renamed over at commit(), so a reader never sees half a
// document and cancel() leaves the old file as it was. Any other existing
// target (a device, a named pipe, a socket, /dev/stdout, /proc/self/fd/N) is
// opened and written in place: renaming over it would replace the device
// node, or leave the pipe's reader waiting, and what is written there cannot
// be taken back.
class OutputFile
{
public:
    explicit OutputFile(const QString &path);
    bool open();
    QIODevice &device();
    bool commit();
    void cancel();
    bool writesInPlace() const { return m_inPlace; }
    QString errorString() const;

    // False for the targets written in place, as above.
    static bool replacedOnCommit(const QString &path);

private:
    QString m_path;
    bool m_inPlace;
    QSaveFile m_replacement;
    QFile m_target;
};

// Writes `content` to `path` through an OutputFile: atomically for a regular
// file, so a crash or a full disk never leaves a truncated file behind. Where
// no temporary file can be made beside it but the file itself may be
// written, it is rewritten in place instead. On failure `error` says why.
bool writeFileAtomically(const QString &path, const QByteArray &content, QString *error);

// Lines joined with CR LF after each, as the station's Windows tools expect.
QByteArray crLfLines(const QStringList &lines);

// Decodes 8-bit text: UTF-8 where it is valid, otherwise Latin-1.
QString decodeText(const QByteArray &bytes);

QDate localDate();

} // namespace Platform

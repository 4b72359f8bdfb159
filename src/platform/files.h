#pragma once

#include <QByteArray>
#include <QDate>
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

// Replaces `path` with `content` atomically (temporary file in the same folder,
// then rename), so a crash or a full disk never leaves a truncated file behind.
// Where no temporary file can be made beside it but the file itself may be
// written, it is rewritten in place instead. On failure `error` says why.
bool writeFileAtomically(const QString &path, const QByteArray &content, QString *error);

// Lines joined with CR LF after each, as the station's Windows tools expect.
QByteArray crLfLines(const QStringList &lines);

// Decodes 8-bit text: UTF-8 where it is valid, otherwise Latin-1.
QString decodeText(const QByteArray &bytes);

QDate localDate();

} // namespace Platform

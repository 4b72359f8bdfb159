#include "records.h"

#include "platform/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>
#include <memory>

bool writeRecords(Module1::RecordFormat format, const QString &outPath)
{
    std::unique_ptr<QFileDevice> out;
    if (outPath.isEmpty()) {
        auto file = std::make_unique<QFile>();
        // Unbuffered: the writer gathers 64 KiB before each write.
        file->open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
        out = std::move(file);
    } else {
        // Written beside the target and renamed at the end, so a failed run
        // leaves no half file behind.
        auto file = std::make_unique<QSaveFile>(outPath);
        file->open(QIODevice::WriteOnly);
        out = std::move(file);
    }

    bool ok = out->isOpen();
    if (ok) {
        Module1::RecordWriter writer(format, *out);
        Module1::exportPeriod(writer);
        ok = writer.finish();
        if (auto *save = dynamic_cast<QSaveFile *>(out.get()))
            ok = ok && save->commit();
        else
            ok = ok && std::fflush(stdout) == 0;
    }
    if (!ok) {
        std::fprintf(stderr, "velkais-log: cannot write %s: %s\n",
                     outPath.isEmpty() ? "the results" : outPath.toUtf8().constData(),
                     out->errorString().toUtf8().constData());
    }
    return ok;
}

namespace {

// "records.csv" gives "records.csvt", "records" gives "records.csvt".
QString csvTypesPath(const QString &csvPath)
{
    const QFileInfo info(csvPath);
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? name.left(dot) : name;
    return info.dir().filePath(stem + QStringLiteral(".csvt"));
}

bool inDeviceFolder(const QString &path)
{
    const QString folder = QFileInfo(QFileInfo(path).absolutePath()).canonicalFilePath();
    for (const QLatin1String root : {QLatin1String("/dev"), QLatin1String("/proc")}) {
        if (folder == root || folder.startsWith(root + QLatin1Char('/')))
            return true;
    }
    return false;
}

} // namespace

bool writeCsvTypes(const QString &csvPath)
{
    if (csvPath.isEmpty() || csvPath == QLatin1String("-") || !QFileInfo(csvPath).isFile() ||
        inDeviceFolder(csvPath))
        return true;
    const QString typesPath = csvTypesPath(csvPath);
    // "--out list.csvt" must not be overwritten by its own types.
    if (QFileInfo(typesPath).absoluteFilePath() == QFileInfo(csvPath).absoluteFilePath())
        return true;
    QString why;
    if (Platform::writeFileAtomically(typesPath, Module1::csvColumnTypes(), &why))
        return true;
    std::fprintf(stderr, "velkais-log: cannot write %s: %s\n", typesPath.toUtf8().constData(),
                 why.toUtf8().constData());
    return false;
}

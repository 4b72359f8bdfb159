#include "records.h"

#include "clihost.h"
#include "platform/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>
#include <memory>

void reportOutputKept(const QString &outPath)
{
    std::fprintf(stderr, "velkais-log: %s not written: not every log file could be read\n",
                 outPath.toUtf8().constData());
}

bool writeRecords(Module1::RecordFormat format, const QString &outPath, const CliHost &host)
{
    QFile standardOutput;
    std::unique_ptr<Platform::OutputFile> file;
    QIODevice *out = &standardOutput;
    bool ok;
    if (outPath.isEmpty()) {
        // Unbuffered: the writer gathers 64 KiB before each write.
        ok = standardOutput.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
    } else {
        file = std::make_unique<Platform::OutputFile>(outPath);
        ok = file->open();
        out = &file->device();
    }

    if (ok) {
        Module1::RecordWriter writer(format, *out);
        Module1::exportPeriod(writer);
        ok = writer.finish();
        if (!file) {
            ok = ok && std::fflush(stdout) == 0;
        } else if (ok && host.fileSkipped && !file->writesInPlace()) {
            file->cancel();
            reportOutputKept(outPath);
            return true;
        } else {
            ok = ok && file->commit();
        }
    }
    if (!ok) {
        std::fprintf(stderr, "velkais-log: cannot write %s: %s\n",
                     outPath.isEmpty() ? "the results" : outPath.toUtf8().constData(),
                     (file ? file->errorString() : standardOutput.errorString()).toUtf8().constData());
        if (file)
            file->cancel();
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

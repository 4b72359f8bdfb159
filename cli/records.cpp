#include "records.h"

#include "clihost.h"
#include "platform/files.h"

#include <QFile>

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

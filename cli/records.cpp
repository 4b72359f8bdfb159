#include "records.h"

#include <QFile>
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

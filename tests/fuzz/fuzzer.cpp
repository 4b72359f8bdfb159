#include "fuzzlog.h"

#include <QCoreApplication>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_log";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return fuzzLogFile(data, size);
}

// One fuzzer per map input, chosen at build time by VELK_FUZZ_INPUT.
#include "fuzzmap.h"

#include <QCoreApplication>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_map";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return fuzzMapInput(MapInput::VELK_FUZZ_INPUT, data, size);
}

// libFuzzer entry: every input is an archive put through all operations (FuzzArchive.h).
// Built only by tools/fuzz.sh (clang, -fsanitize=fuzzer,address,undefined).

#include "FuzzArchive.h"

#include <QCoreApplication>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The engine lets the event loop run between entries; give it an application.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return FuzzArchiveInput(data, size);
}

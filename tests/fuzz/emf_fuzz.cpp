// Feeds arbitrary bytes to the EMF reader: it must load them or throw a
// ReadError, and never crash, hang or grow without bound.

#include "formats/metafile/EmfReader.h"

#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Qt's font database keeps fontconfig's patterns for the life of the
// process; at exit they would be reported as leaks of every run.
extern "C" const char* __asan_default_options() {
    return "detect_leaks=0";
}

// Text is laid out through Qt's font database, which needs an application.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        auto doc =
            dv::readEmfBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)),
                             QStringLiteral("fuzz.emf"));
        (void)doc;
    } catch (const dv::ReadError&) {
    }
    return 0;
}

// Feeds arbitrary bytes to the SVG reader: it must load them or throw a
// ReadError, and never crash, hang or grow without bound.

#include "formats/svg/SvgReader.h"

#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Text is laid out through Qt's font database, which needs an application.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        auto doc = dv::readSvgBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)),
                                  QStringLiteral("fuzz.svg"));
        (void)doc;
    } catch (const dv::ReadError&) {
    }
    return 0;
}

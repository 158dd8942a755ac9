// Feeds arbitrary bytes to the DWG reader, as a file of its own: it must
// load them or throw a ReadError, and never crash, hang or grow without bound.

#include "formats/Reader.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace dv {
std::unique_ptr<Reader> makeDwgReader(); // the registry's own, asked directly
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("fuzz.dwg"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    try {
        static const auto reader = dv::makeDwgReader();
        auto doc = reader->read(path, {});
        (void)doc;
    } catch (const dv::ReadError&) {
    }
    return 0;
}

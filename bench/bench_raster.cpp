// Loading a 20,000 x 20,000 raster image: decode time, pyramid time and the
// process's peak memory. Run: bench_raster [image] (default: a generated PNG
// kept in /tmp between runs).

#include "formats/Reader.h"
#include "formats/raster/RasterPyramid.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace {

constexpr int kSide = 20000;

double peakRssMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// Generated in a child process so that its 1.6 GB image does not count in
// the peak memory measured here.
bool generate(const QString& path) {
    const pid_t child = fork();
    if (child == 0) {
        QImage img(kSide, kSide, QImage::Format_RGB32);
        for (int y = 0; y < kSide; ++y) {
            auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < kSide; ++x)
                row[x] = qRgb(x & 0xff, y & 0xff, ((x >> 6) ^ (y >> 6)) & 0xff);
        }
        QImageWriter writer(path + ".part", "png");
        writer.setCompression(1);
        const bool ok = writer.write(img) && QFile::rename(path + ".part", path);
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QString path = argc > 1 ? QString::fromLocal8Bit(argv[1])
                            : QStringLiteral("/tmp/vistrel_bench_%1.png").arg(kSide);
    if (!QFileInfo::exists(path)) {
        std::printf("generating %s ...\n", qPrintable(path));
        QElapsedTimer t;
        t.start();
        if (!generate(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        std::printf("generated in %.1f s\n", t.elapsed() / 1000.0);
    }
    std::printf("file: %s (%.1f MB)\n", qPrintable(path), QFileInfo(path).size() / 1048576.0);
    std::printf("peak RSS before load: %.0f MB\n", peakRssMb());

    QElapsedTimer timer;
    timer.start();
    qint64 decodedAt = -1;
    std::unique_ptr<dv::Document> doc;
    try {
        doc = dv::ReaderRegistry::builtin().load(path, [&](int percent) {
            if (percent >= 60 && decodedAt < 0)
                decodedAt = timer.elapsed();
        });
    } catch (const dv::ReadError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    const qint64 total = timer.elapsed();
    std::printf("image: %d x %d, format %s, %zu pyramid levels\n", doc->raster.width(),
                doc->raster.height(), qPrintable(doc->format), doc->rasterPyramid.size());
    std::printf("load total:        %8.0f ms\n", double(total));
    std::printf("  decode+convert:  %8.0f ms\n", double(decodedAt));
    std::printf("  pyramid:         %8.0f ms\n", double(total - decodedAt));
    std::printf("peak RSS after load: %.0f MB (image %.0f MB)\n", peakRssMb(),
                doc->raster.sizeInBytes() / 1048576.0);

    timer.restart();
    const QImage half = dv::raster::halve(doc->raster);
    const qint64 halveMs = timer.elapsed();
    std::printf("one halving of the full image: %.0f ms (%.0f Mpixel/s read)\n", double(halveMs),
                double(doc->raster.width()) * doc->raster.height() / 1e3 /
                    std::max<qint64>(1, halveMs));
    return half.isNull() ? 1 : 0;
}

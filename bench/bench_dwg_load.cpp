// Loads the largest sample DWG drawings that have a DXF of the same drawing,
// each through the reader registry, and prints beside each other the DWG and
// the DXF reader's MB/s, entities/s and peak memory; then the largest ones
// without a twin, alone. The samples live beside the project (../shared/dwg);
// an argument names other DWG files instead.

#include "ProcessMemory.h"
#include "formats/Reader.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <malloc.h>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Measure {
    double mbPerSecond = 0;
    double entitiesPerSecond = 0;
    double peakMb = 0; // over the memory in use before the load
    long entities = 0;
    QString error;
};

long entityCount(const dv::Document& doc) {
    long n = 0;
    for (const dv::Block& b : doc.blocks)
        for (const auto& [type, count] : b.entityCounts)
            n += count;
    return n;
}

// One load into `m`, which keeps the fastest; none once the file failed.
void loadInto(const QString& path, Measure& m, double& best) {
    if (!m.error.isEmpty())
        return;
    resetPeak();
    const long base = statusKb("VmRSS:");
    const auto t0 = std::chrono::steady_clock::now();
    try {
        auto doc = dv::ReaderRegistry::builtin().load(path);
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        m.peakMb = std::max(m.peakMb, (statusKb("VmHWM:") - base) / 1024.0);
        m.entities = entityCount(*doc);
        best = std::min(best, s);
    } catch (const dv::ReadError& e) {
        m.error = QString::fromUtf8(e.what());
        return;
    }
    const double mb = double(QFileInfo(path).size()) / 1e6;
    m.mbPerSecond = mb / best;
    m.entitiesPerSecond = double(m.entities) / best;
}

// The best of a few loads of each, so that a busy machine disturbs it less.
// The two take turns, so that each follows the other as often and neither
// inherits a heap the other left behind more than it does.
std::pair<Measure, Measure> measurePair(const QString& dwg, const QString& dxf) {
    Measure a, b;
    double bestA = 1e30, bestB = 1e30;
    for (int round = 0; round < 5; ++round) {
        loadInto(dwg, a, bestA);
        if (!dxf.isEmpty())
            loadInto(dxf, b, bestB);
    }
    return {a, b};
}

void measureOnce(const QString& path) {
    try {
        dv::ReaderRegistry::builtin().load(path);
    } catch (const dv::ReadError&) {
        // measurePair() reports it in the file's row
    }
}

void printRow(const char* label, const QString& file, const Measure& m) {
    if (!m.error.isEmpty()) {
        std::printf("  %-4s %-28s %s\n", label, qPrintable(file), qPrintable(m.error));
        return;
    }
    std::printf("  %-4s %-28s %7.1f MB/s %9.0f entities/s %7ld entities  peak +%.1f MB\n", label,
                qPrintable(file), m.mbPerSecond, m.entitiesPerSecond, m.entities, m.peakMb);
}

} // namespace

int main(int argc, char** argv) {
    // Text is measured with the fonts it is drawn with, as in the viewer.
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    // glibc raises its mmap and trim thresholds once a large block is freed,
    // so the reader measured second would find the first one's memory still
    // in place and skip its page faults. Held at their defaults, every load
    // faults in its own memory, as the first drawing a viewer opens does.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024);
    QStringList files;
    for (int i = 1; i < argc; ++i)
        files << QString::fromLocal8Bit(argv[i]);
    if (files.isEmpty()) {
        const QDir dir(QStringLiteral(SHARED_DWG_DIR));
        if (!dir.exists()) {
            std::printf("no sample drawings in %s; name DWG files on the command line\n",
                        SHARED_DWG_DIR);
            return 0;
        }
        for (const char* name :
             {"example_r13.dwg", "example_r14.dwg", "example_2000.dwg", "2000/TS1.dwg",
              "example_2004.dwg", "2004/material.dwg", "example_2007.dwg", "example_2010.dwg",
              "example_2013.dwg", "example_2018.dwg", "sample_2018.dwg",
              // The largest, with no twin: the DWG reader alone.
              "2018/Dynblocks.dwg", "2013/gh44-error.dwg"})
            files << dir.filePath(QLatin1String(name));
    }
    // The first load also sets up the fonts and Qt's caches; charged to the
    // first row, it would swell that row's peak memory.
    for (const QString& dwg : files)
        if (QFileInfo::exists(dwg)) {
            measureOnce(dwg);
            break;
        }
    std::printf("DWG beside its DXF twin (best of 5 loads each, taking turns)\n");
    for (const QString& dwg : files) {
        if (!QFileInfo::exists(dwg))
            continue;
        std::printf("%s (%.0f KB)\n", qPrintable(QFileInfo(dwg).fileName()),
                    double(QFileInfo(dwg).size()) / 1024);
        QString dxf = dwg;
        dxf.replace(dxf.size() - 3, 3, QStringLiteral("dxf"));
        if (!QFileInfo::exists(dxf))
            dxf.clear();
        const auto [ofDwg, ofDxf] = measurePair(dwg, dxf);
        printRow("DWG", QFileInfo(dwg).fileName(), ofDwg);
        if (!dxf.isEmpty())
            printRow("DXF", QFileInfo(dxf).fileName(), ofDxf);
    }
    return 0;
}

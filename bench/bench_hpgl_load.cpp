// Generates large plots in /tmp (absolute PD lists, and PE encoded
// polylines) and loads each through the reader registry, printing file size,
// MB/s, segments/s and peak memory.

#include "ProcessMemory.h"
#include "formats/Reader.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <random>
#include <string>

namespace {

// A random walk of `segments` pen-down vectors over ten pens.
std::string plainPlot(int segments) {
    std::string out = "IN;";
    std::mt19937 rng(1);
    std::uniform_int_distribution<int> step(-400, 400);
    int x = 20000, y = 20000;
    char buf[64];
    for (int i = 0; i < segments; ++i) {
        if (i % 1000 == 0) {
            std::snprintf(buf, sizeof buf, "SP%d;PU%d,%d;", i / 1000 % 10 + 1, x, y);
            out += buf;
        }
        x += step(rng);
        y += step(rng);
        std::snprintf(buf, sizeof buf, "PD%d,%d;", x, y);
        out += buf;
    }
    return out;
}

void peNumber(std::string& out, int v) {
    unsigned n = (unsigned(v < 0 ? -v : v) << 1) | (v < 0 ? 1u : 0u);
    while (n >= 64) {
        out.push_back(char(63 + n % 64));
        n /= 64;
    }
    out.push_back(char(191 + n));
}

std::string encodedPlot(int segments) {
    std::string out = "IN;SP1;PU0,0;";
    std::mt19937 rng(2);
    std::uniform_int_distribution<int> step(-400, 400);
    for (int i = 0; i < segments; i += 1000) {
        out += "PE";
        for (int k = 0; k < 1000; ++k) {
            peNumber(out, step(rng));
            peNumber(out, step(rng));
        }
        out += ";";
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    struct Run {
        const char* name;
        int segments;
        bool encoded;
    };
    const Run runs[] = {{"PD", 100000, false}, {"PD", 1000000, false}, {"PE", 1000000, true}};
    for (const Run& r : runs) {
        const std::string path =
            "/tmp/bench_hpgl_" + std::string(r.name) + "_" + std::to_string(r.segments) + ".plt";
        {
            const std::string text = r.encoded ? encodedPlot(r.segments) : plainPlot(r.segments);
            std::ofstream(path, std::ios::binary) << text;
        }
        const double mb = double(std::ifstream(path, std::ios::ate).tellg()) / 1e6;
        double best = 1e9, bestCpu = 1e9;
        long peakKb = 0, baseKb = 0;
        size_t points = 0;
        for (int run = 0; run < 3; ++run) {
            resetPeak();
            baseKb = statusKb("VmRSS:");
            const auto t0 = std::chrono::steady_clock::now();
            const std::clock_t c0 = std::clock();
            auto doc = dv::ReaderRegistry::builtin().load(QString::fromStdString(path));
            const double s =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            best = std::min(best, s);
            // On a shared machine the processor time is the steadier figure.
            bestCpu = std::min(bestCpu, double(std::clock() - c0) / CLOCKS_PER_SEC);
            peakKb = std::max(peakKb, statusKb("VmHWM:"));
            points = doc->blocks[0].points.size();
        }
        std::printf("%s %8d segments  %6.1f MB  best %.3f s (cpu %.3f s)  %6.1f MB/s  "
                    "%5.2f M segments/s (cpu)  "
                    "peak RSS %.0f MB (%.0f MB over the %.0f MB before)  points %zu\n",
                    r.name, r.segments, mb, best, bestCpu, mb / bestCpu, r.segments / bestCpu / 1e6,
                    peakKb / 1024.0, (peakKb - baseKb) / 1024.0, baseKb / 1024.0, points);
    }
    return 0;
}

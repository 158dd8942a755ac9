// Generates large ASCII and binary DXF files in /tmp and loads each through the reader
// registry, printing file size, MB/s, entities/s and peak memory.

#include "ProcessMemory.h"
#include "formats/Reader.h"
#include "formats/dxf/DxfTokenizer.h"

#include <QCoreApplication>

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>

namespace {

class DxfWriter {
public:
    // Binary DXF: 2-byte group codes, values typed by code.
    explicit DxfWriter(bool binary = false) : m_binary(binary) {
        if (binary)
            m_out.append("AutoCAD Binary DXF\r\n\x1a", 22);
    }
    void pair(int code, std::string_view value) {
        if (m_binary) {
            putCode(code);
            m_out.append(value);
            m_out.push_back('\0');
            return;
        }
        char buf[16];
        const int n = std::snprintf(buf, sizeof buf, "%3d\n", code);
        m_out.append(buf, size_t(n));
        m_out.append(value);
        m_out.push_back('\n');
    }
    void pair(int code, double value) {
        if (m_binary) {
            putCode(code);
            m_out.append(reinterpret_cast<const char*>(&value), 8);
            return;
        }
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
        pair(code, std::string_view(buf, size_t(r.ptr - buf)));
    }
    void pair(int code, int value) {
        if (!m_binary) {
            pair(code, std::string_view(std::to_string(value)));
            return;
        }
        putCode(code);
        if (code >= 90 && code <= 99) {
            const int32_t v = value;
            m_out.append(reinterpret_cast<const char*>(&v), 4);
        } else {
            const int16_t v = int16_t(value);
            m_out.append(reinterpret_cast<const char*>(&v), 2);
        }
    }
    void handle() {
        char buf[24];
        const int n = std::snprintf(buf, sizeof buf, "%X", m_handle++);
        pair(5, std::string_view(buf, size_t(n)));
    }
    std::string& text() { return m_out; }

private:
    void putCode(int code) {
        const uint16_t c = uint16_t(code);
        m_out.append(reinterpret_cast<const char*>(&c), 2);
    }

    bool m_binary;
    std::string m_out;
    unsigned m_handle = 0x100;
};

std::string generate(int entities, bool binary = false) {
    DxfWriter w(binary);
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> pos(0, 10000), small(1, 50), angle(0, 360);
    const int layerCount = 36;
    auto layerName = [](int i) { return "LAYER_" + std::to_string(i); };

    w.pair(0, "SECTION");
    w.pair(2, "HEADER");
    w.pair(9, "$ACADVER");
    w.pair(1, "AC1015");
    w.pair(9, "$DWGCODEPAGE");
    w.pair(3, "ANSI_1252");
    w.pair(0, "ENDSEC");
    w.pair(0, "SECTION");
    w.pair(2, "TABLES");
    w.pair(0, "TABLE");
    w.pair(2, "LAYER");
    for (int i = 0; i < layerCount; ++i) {
        w.pair(0, "LAYER");
        w.pair(2, layerName(i));
        w.pair(70, 0);
        w.pair(62, 1 + i % 250);
    }
    w.pair(0, "ENDTAB");
    w.pair(0, "ENDSEC");
    w.pair(0, "SECTION");
    w.pair(2, "BLOCKS");
    for (int b = 0; b < 4; ++b) {
        w.pair(0, "BLOCK");
        w.pair(8, "0");
        w.pair(2, "SYMBOL_" + std::to_string(b));
        w.pair(70, 0);
        w.pair(10, 0.0);
        w.pair(20, 0.0);
        for (int k = 0; k < 6; ++k) {
            w.pair(0, "LINE");
            w.pair(8, "0");
            w.pair(10, double(k));
            w.pair(20, 0.0);
            w.pair(11, double(k));
            w.pair(21, 5.0);
        }
        w.pair(0, "ENDBLK");
    }
    w.pair(0, "ENDSEC");
    w.pair(0, "SECTION");
    w.pair(2, "ENTITIES");
    for (int i = 0; i < entities; ++i) {
        const int kind = int(rng() % 10);
        const std::string layer = layerName(int(rng() % layerCount));
        auto start = [&](const char* type, const char* subclass) {
            w.pair(0, type);
            w.handle();
            w.pair(100, "AcDbEntity");
            w.pair(8, layer);
            w.pair(100, subclass);
        };
        const double x = pos(rng), y = pos(rng);
        if (kind < 4) {
            start("LINE", "AcDbLine");
            w.pair(10, x);
            w.pair(20, y);
            w.pair(30, 0.0);
            w.pair(11, x + small(rng));
            w.pair(21, y + small(rng));
            w.pair(31, 0.0);
        } else if (kind == 4) {
            start("CIRCLE", "AcDbCircle");
            w.pair(10, x);
            w.pair(20, y);
            w.pair(30, 0.0);
            w.pair(40, small(rng));
        } else if (kind == 5) {
            start("ARC", "AcDbCircle");
            w.pair(10, x);
            w.pair(20, y);
            w.pair(30, 0.0);
            w.pair(40, small(rng));
            w.pair(100, "AcDbArc");
            w.pair(50, angle(rng));
            w.pair(51, angle(rng));
        } else if (kind < 8) {
            start("LWPOLYLINE", "AcDbPolyline");
            const int n = 4 + int(rng() % 5);
            w.pair(90, n);
            w.pair(70, int(rng() % 2));
            for (int v = 0; v < n; ++v) {
                w.pair(10, x + small(rng));
                w.pair(20, y + small(rng));
                if (v % 3 == 1)
                    w.pair(42, 0.4);
            }
        } else if (kind == 8) {
            start("TEXT", "AcDbText");
            w.pair(10, x);
            w.pair(20, y);
            w.pair(30, 0.0);
            w.pair(40, 2.5);
            w.pair(1, "Room " + std::to_string(i));
            w.pair(50, angle(rng));
        } else {
            start("INSERT", "AcDbBlockReference");
            w.pair(2, "SYMBOL_" + std::to_string(rng() % 4));
            w.pair(10, x);
            w.pair(20, y);
            w.pair(30, 0.0);
            w.pair(41, 1.5);
            w.pair(42, 1.5);
            w.pair(50, angle(rng));
        }
    }
    w.pair(0, "ENDSEC");
    w.pair(0, "EOF");
    return std::move(w.text());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // "--write N PATH" (or --write-binary) only writes a file, for profiling
    // the reader on it.
    if (argc == 4 &&
        (std::string_view(argv[1]) == "--write" || std::string_view(argv[1]) == "--write-binary")) {
        const std::string text =
            generate(std::atoi(argv[2]), std::string_view(argv[1]) == "--write-binary");
        std::ofstream(argv[3], std::ios::binary).write(text.data(), std::streamsize(text.size()));
        return 0;
    }
    // "--tokenize PATH" times the tokenizer alone, best of five.
    if (argc == 3 && std::string_view(argv[1]) == "--tokenize") {
        std::ifstream in(argv[2], std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        double best = 1e9;
        size_t groups = 0;
        for (int run = 0; run < 5; ++run) {
            const auto t0 = std::chrono::steady_clock::now();
            dv::dxf::Tokenizer tok(text.data(), text.size());
            dv::dxf::Group g;
            groups = 0;
            while (tok.next(g))
                ++groups;
            best = std::min(
                best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        }
        std::printf("tokenizer: %zu groups, %.3f s, %.0f MB/s\n", groups, best,
                    text.size() / best / 1048576.0);
        return 0;
    }
    // "--load PATH" loads one file and prints the time.
    if (argc == 3 && std::string_view(argv[1]) == "--load") {
        const auto t0 = std::chrono::steady_clock::now();
        auto doc = dv::ReaderRegistry::builtin().load(QString::fromLocal8Bit(argv[2]));
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        size_t points = 0;
        for (const dv::Block& b : doc->blocks)
            points += b.points.size();
        std::printf("%.3f s, %zu points, peak RSS %ld MB\n", s, points, statusKb("VmHWM:") / 1024);
        return 0;
    }
    const std::pair<int, bool> runs[] = {{100000, false}, {1000000, false}, {1000000, true}};
    for (const auto& [count, binary] : runs) {
        const std::string path =
            "/tmp/bench_dxf_" + std::to_string(count) + (binary ? "_binary" : "") + ".dxf";
        {
            const std::string text = generate(count, binary);
            std::ofstream(path, std::ios::binary).write(text.data(), std::streamsize(text.size()));
        }
        const double mb = double(std::ifstream(path, std::ios::ate | std::ios::binary).tellg()) /
                          (1024.0 * 1024.0);
        double best = 1e9;
        long peakKb = 0, baseKb = 0;
        size_t shapes = 0;
        for (int run = 0; run < 3; ++run) {
            resetPeak();
            baseKb = statusKb("VmRSS:");
            const auto t0 = std::chrono::steady_clock::now();
            auto doc = dv::ReaderRegistry::builtin().load(QString::fromStdString(path));
            const double s =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            best = std::min(best, s);
            peakKb = std::max(peakKb, statusKb("VmHWM:"));
            shapes = doc->blocks[size_t(doc->layouts[0].block)].shapes.size();
        }
        std::printf("%-6s %8d entities  %7.1f MB  best %.3f s  %7.1f MB/s  %6.2f M entities/s  "
                    "peak RSS %.0f MB (%.0f MB over the %.0f MB before loading, %.2fx the file)  "
                    "shapes %zu\n",
                    binary ? "binary" : "ascii", count, mb, best, mb / best, count / best / 1e6,
                    peakKb / 1024.0, (peakKb - baseKb) / 1024.0, baseKb / 1024.0,
                    (peakKb - baseKb) / 1024.0 / mb, shapes);
        std::remove(path.c_str());
    }
    return 0;
}

#pragma once

// The fixed file header and the tables of a DWG drawing of AutoCAD 2.10 to
// R12: where the sections lie, a few header variables, and the table
// entries in the order entities index them.

#include "DwgSections.h"

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dv::dwg::prer13 {

// Releases by the tag that starts the file, oldest first.
enum class Version : uint8_t { R1_4, R2_05, R2_10, R2_21, R2_5, R2_6, R9, R10, R11 };

// The version a file's first six bytes name, if this reader reads it.
std::optional<Version> versionOf(const QByteArray& tag);

struct Range {
    uint32_t start = 0, end = 0;
};

struct Point {
    double x = 0, y = 0, z = 0;
};

struct FileHeader {
    Version version = Version::R11;
    Range entities, blocks, extra; // extra: R11 only, may be empty
    Point extMin, extMax, limMin, limMax;
    double ltScale = 1, pdSize = 0;
    int pdMode = 0, tileMode = 1;
    uint16_t codePage = 30; // Windows-1252 unless the header names another
    bool hasPointVars = false;
    // 1.40 keeps no record lengths, only how many records there are; its
    // blocks lie among the entities.
    int entityCount = 0;
};

struct LayerEntry {
    std::string name;
    int flags = 0, color = 7, lineType = -1;
};

struct LineTypeEntry {
    std::string name, description;
    int alignment = 65;
    double length = 0;
    std::vector<double> dashes;
};

struct StyleEntry {
    std::string name, font, bigFont;
    int flags = 0, generation = 0;
    double height = 0, width = 1, oblique = 0, lastHeight = 0;
};

struct BlockEntry {
    std::string name;
    int flags = 0;
    uint32_t offset = 0; // of its BLOCK entity within the block section
};

// Raw table texts as stored; the caller converts them from the code page.
// 1.40 has numbered layers with a colour each and no other tables.
struct Tables {
    std::vector<LayerEntry> layers;
    std::vector<LineTypeEntry> lineTypes;
    std::vector<StyleEntry> styles;
    std::vector<BlockEntry> blocks;
    std::vector<std::string> appIds; // R11
};

// Throws FormatError when the header is cut short or a section or table
// lies outside the file.
FileHeader readFileHeader(const QByteArray& file, Version version);
Tables readTables(const QByteArray& file, const FileHeader& header);

} // namespace dv::dwg::prer13

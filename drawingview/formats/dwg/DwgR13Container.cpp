#include "DwgBitReader.h"
#include "DwgSections.h"

#include <cstring>

namespace dv::dwg {

// R13 to R2000: a fixed file header with a table of section locators; the
// object map's offsets are file offsets.

namespace {

constexpr unsigned char kHeaderEnd[16] = {0x95, 0xA0, 0x4E, 0x28, 0x99, 0x82, 0x1A, 0xE5,
                                          0x5E, 0x41, 0xE0, 0x5F, 0x9D, 0x3A, 0x4D, 0x00};
constexpr size_t kLocatorTable = 0x15;
constexpr unsigned kTemplateLocator = 4;

uint32_t le32(const char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

uint16_t le16(const char* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// The header's CRC is mixed with a constant that depends on how many
// locators the table holds.
uint16_t locatorCrcMask(uint32_t count) {
    switch (count) {
    case 3:
        return 0xA598;
    case 4:
        return 0x8101;
    case 5:
        return 0x3CC4;
    case 6:
        return 0x8461;
    default:
        return 0;
    }
}

} // namespace

Sections readR13Container(const char* data, size_t size) {
    Sections s;
    if (size < kLocatorTable + 4)
        throw FormatError("the file header is cut off");
    const std::string version(data, 6);
    if (version == "AC1012")
        s.release = Release::R13;
    else if (version == "AC1014")
        s.release = Release::R14;
    else if (version == "AC1015")
        s.release = Release::R2000;
    else
        throw FormatError("version " + version + " is not an R13 to R2000 drawing");
    s.maintenance = uint8_t(data[0x0B]);
    s.codePage = le16(data + 0x13);
    const uint32_t count = le32(data + kLocatorTable);
    const size_t table = kLocatorTable + 4;
    if (count > 16 || table + size_t(count) * 9 + 2 > size)
        throw FormatError("the file header's table of " + std::to_string(count) +
                          " sections is cut off or implausible");
    const size_t crcAt = table + size_t(count) * 9;
    const uint16_t stored = le16(data + crcAt);
    const uint16_t computed = crc16(0, data, crcAt) ^ locatorCrcMask(count);
    if (stored != computed)
        s.problems.push_back("the file header's CRC does not match");
    if (crcAt + 2 + 16 > size || std::memcmp(data + crcAt + 2, kHeaderEnd, 16) != 0)
        s.problems.push_back("the file header's end sentinel is missing");

    static const char* const kNames[] = {"header variables", "classes", "object map"};
    QByteArray* targets[] = {&s.header, &s.classes, &s.handles};
    bool found[3] = {false, false, false};
    for (uint32_t i = 0; i < count; ++i) {
        const char* rec = data + table + size_t(i) * 9;
        const unsigned number = uint8_t(rec[0]);
        const uint32_t seeker = le32(rec + 1);
        const uint32_t length = le32(rec + 5);
        // The fifth holds the template's units; a damaged one costs only those.
        if (number == kTemplateLocator) {
            if (seeker <= size && length <= size - seeker)
                s.templ = QByteArray(data + seeker, qsizetype(length));
            else
                s.problems.push_back("the template section lies outside the file");
            continue;
        }
        if (number > 2)
            continue;
        if (seeker > size || length > size - seeker)
            throw FormatError(std::string("the ") + kNames[number] + " section (at byte " +
                              std::to_string(seeker) + ", " + std::to_string(length) +
                              " bytes) lies outside the file");
        *targets[number] = QByteArray(data + seeker, qsizetype(length));
        found[number] = true;
    }
    for (int i = 0; i < 3; ++i)
        if (!found[i])
            throw FormatError(std::string("the file has no ") + kNames[i] + " section");
    // Not copied: the caller's bytes outlive the sections.
    s.objects = QByteArray::fromRawData(data, qsizetype(size));
    return s;
}

} // namespace dv::dwg

#pragma once

// What a DWG file's container yields, whatever its release: the data of the
// sections that the object layer reads. Containers differ by release (R13 to
// R2000: section locators; R2004 and R2010 on: encrypted header, page and
// section maps, compressed pages; R2007: its own header, Reed-Solomon and
// compression); everything above them reads these buffers alone.

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace dv::dwg {

enum class Release : uint8_t { R13, R14, R2000, R2004, R2007, R2010, R2013, R2018 };

// A damaged or unreadable file; the reader turns it into a ReadError that
// names the file.
class FormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Sections {
    Release release = Release::R2000;
    uint8_t maintenance = 0;
    uint16_t codePage = 0; // as the file header gives it
    // Each as stored, sentinels and size fields included where the release
    // writes them, so that one parser reads them for every release.
    QByteArray header;  // AcDb:Header, the header variables
    QByteArray classes; // AcDb:Classes
    QByteArray handles; // AcDb:Handles, the object map
    // AcDb:AcDbObjects. Before R2004 the object map's offsets are file
    // offsets, so this is then the whole file.
    QByteArray objects;
    // AcDb:Template: the drawing's template description and its units
    // (metric or imperial); empty where the file has none.
    QByteArray templ;
    // Where the sections above are decompressed, they view this memory.
    std::shared_ptr<char> storage;
    // Problems that do not stop the file from opening (a bad CRC, say).
    std::vector<std::string> problems;
};

// R13, R14 and R2000 files.
Sections readR13Container(const char* data, size_t size);
// R2004, R2010, R2013 and R2018 files.
Sections readR2004Container(const char* data, size_t size);
// R2007 files.
Sections readR2007Container(const char* data, size_t size);

} // namespace dv::dwg

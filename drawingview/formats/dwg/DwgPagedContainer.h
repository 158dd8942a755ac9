#pragma once

// What the R2004-style and R2007 containers share: a file of pages found
// through a page map, sections assembled from those pages through a section
// map, and the bounds and budget every page is read under. Each release
// reads its own header and maps and knows how its pages are stored.

#include "formats/dwg/DwgBudget.h"
#include "formats/dwg/DwgSections.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace dv::dwg {

class PagedContainer {
public:
    virtual ~PagedContainer() = default;

    // The header, maps and the four sections the object layer reads.
    Sections read();

protected:
    struct PageLocation {
        uint64_t address = 0;
        uint64_t size = 0;
    };

    struct PageRef {
        uint64_t id = 0;
        uint64_t start = 0;          // within the section
        uint64_t dataSize = 0;       // as the section map gives it
        uint64_t compressedSize = 0; // where the section map gives it
    };

    struct SectionInfo {
        std::string name;
        uint64_t size = 0;
        uint64_t maxPageSize = 0;
        bool encrypted = false;
        uint64_t storage = 0; // how its pages are kept; each release has its codes
        std::vector<PageRef> pages;
    };

    using Decompressor = void (*)(const uint8_t*, size_t, uint8_t*, size_t);

    // `pageMapName` names the page map in errors.
    PagedContainer(const char* data, size_t size, const char* pageMapName);

    [[noreturn]] static void fail(const std::string& why);
    static std::string str(uint64_t v) { return std::to_string(v); }

    // The release tag's neighbours every release keeps at the same places.
    void readVersionFields(Release release);
    virtual void readFileHeader() = 0;
    // Fills pages_.
    virtual void readPageMap() = 0;
    // Fills sections_.
    virtual void readSectionMap() = 0;
    // Copies the pages of `s` into `out` (sized to s.size) and returns how
    // many of its bytes they filled.
    virtual uint64_t readPages(const SectionInfo& s, char* out, const std::string& what) = 0;

    // Whether `n` bytes at `address` lie within the file.
    bool inFile(uint64_t address, uint64_t n) const {
        return address <= size_ && size_ - address >= n;
    }
    const PageLocation& page(uint64_t id, const std::string& what) const;
    static void inflate(Decompressor decompress, const uint8_t* in, size_t inSize, char* out,
                        size_t outSize, const std::string& what);

    const uint8_t* data_;
    size_t size_;
    // Every byte decompressed is paid for, so no map can make us allocate
    // beyond what the file's length allows.
    DecompressionBudget budget_;
    std::map<uint64_t, PageLocation> pages_;
    std::vector<SectionInfo> sections_;
    Sections out_;

private:
    // A section whose pages hold less than its size is a problem when
    // `required`; otherwise it comes back empty.
    const SectionInfo& find(const std::string& name) const;
    // Reads `s` into `out`, zeroed memory of s.size bytes that outlives the
    // result.
    QByteArray section(const SectionInfo& s, char* out, bool required);

    const char* pageMapName_;
};

} // namespace dv::dwg

#include "formats/dwg/DwgPagedContainer.h"

#include "model/HugePages.h"

#include <algorithm>
#include <cstring>

namespace dv::dwg {

PagedContainer::PagedContainer(const char* data, size_t size, const char* pageMapName)
    : data_(reinterpret_cast<const uint8_t*>(data)), size_(size), budget_(size),
      pageMapName_(pageMapName) {}

Sections PagedContainer::read() {
    readFileHeader();
    readPageMap();
    readSectionMap();
    out_.header = section("AcDb:Header");
    out_.classes = section("AcDb:Classes");
    out_.handles = section("AcDb:Handles");
    out_.objects = section("AcDb:AcDbObjects");
    // Not every file has one, and nothing else depends on it.
    if (hasSection("AcDb:Template")) {
        try {
            out_.templ = section("AcDb:Template", false);
        } catch (const FormatError& e) {
            out_.problems.push_back(e.what());
        }
    }
    return std::move(out_);
}

void PagedContainer::fail(const std::string& why) {
    throw FormatError(why);
}

void PagedContainer::readVersionFields(Release release) {
    out_.release = release;
    out_.maintenance = data_[0x0b];
    out_.codePage = static_cast<uint16_t>(data_[0x13] | (data_[0x14] << 8));
}

const PagedContainer::PageLocation& PagedContainer::page(uint64_t id,
                                                         const std::string& what) const {
    const auto it = pages_.find(id);
    if (it == pages_.end())
        fail(what + " is not in the " + pageMapName_);
    return it->second;
}

void PagedContainer::inflate(Decompressor decompress, const uint8_t* in, size_t inSize, char* out,
                             size_t outSize, const std::string& what) {
    try {
        decompress(in, inSize, reinterpret_cast<uint8_t*>(out), outSize);
    } catch (const FormatError& e) {
        fail("failed decompression of " + what + ": " + e.what());
    }
}

bool PagedContainer::hasSection(const std::string& name) const {
    return std::any_of(sections_.begin(), sections_.end(),
                       [&](const SectionInfo& s) { return s.name == name; });
}

QByteArray PagedContainer::section(const std::string& name, bool required) {
    const auto it = std::find_if(sections_.begin(), sections_.end(),
                                 [&](const SectionInfo& s) { return s.name == name; });
    if (it == sections_.end())
        fail("section " + name + " is missing");
    const std::string what = "section " + name;
    if (it->encrypted)
        fail(what + " is encrypted (the drawing is password-protected)");
    budget_.spend(it->size, what);
    QByteArray out(static_cast<qsizetype>(it->size), Qt::Uninitialized);
    adviseHugePages(out.constData(), size_t(out.size()));
    std::memset(out.data(), 0, size_t(out.size())); // what no page covers reads as zeros
    const uint64_t covered = readPages(*it, out.data(), what);
    if (covered < it->size && !required)
        return {};
    if (covered < it->size)
        out_.problems.push_back(what + ": its pages hold " + str(covered) + " of " + str(it->size) +
                                " bytes");
    return out;
}

} // namespace dv::dwg

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
    struct Wanted {
        const SectionInfo* info;
        QByteArray* bytes;
        bool required;
    };
    std::vector<Wanted> wanted = {{&find("AcDb:Header"), &out_.header, true},
                                  {&find("AcDb:Classes"), &out_.classes, true},
                                  {&find("AcDb:Handles"), &out_.handles, true},
                                  {&find("AcDb:AcDbObjects"), &out_.objects, true}};
    // One block holds them all, each on a 16-byte boundary.
    const auto place = [](uint64_t size) { return (size + 15) & ~uint64_t(15); };
    uint64_t total = 0;
    for (const Wanted& w : wanted) {
        budget_.spend(place(w.info->size), "section " + w.info->name);
        total += place(w.info->size);
    }
    // Not every file has one, and nothing else depends on it.
    const auto templ = std::find_if(sections_.begin(), sections_.end(),
                                    [](const SectionInfo& s) { return s.name == "AcDb:Template"; });
    if (templ != sections_.end()) {
        try {
            if (templ->encrypted)
                fail("section AcDb:Template is encrypted");
            budget_.spend(place(templ->size), "section AcDb:Template");
            wanted.push_back({&*templ, &out_.templ, false});
            total += place(templ->size);
        } catch (const FormatError& e) {
            out_.problems.push_back(e.what());
        }
    }
    out_.storage = zeroedForHugePages(size_t(total));
    char* at = out_.storage.get();
    for (const Wanted& w : wanted) {
        try {
            *w.bytes = section(*w.info, at, w.required);
        } catch (const FormatError& e) {
            if (w.required)
                throw;
            out_.problems.push_back(e.what());
        }
        at += place(w.info->size);
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

const PagedContainer::SectionInfo& PagedContainer::find(const std::string& name) const {
    const auto it = std::find_if(sections_.begin(), sections_.end(),
                                 [&](const SectionInfo& s) { return s.name == name; });
    if (it == sections_.end())
        fail("section " + name + " is missing");
    if (it->encrypted)
        fail("section " + name + " is encrypted (the drawing is password-protected)");
    return *it;
}

QByteArray PagedContainer::section(const SectionInfo& s, char* out, bool required) {
    // `out` is zeroed: what no page covers reads as zeros.
    const std::string what = "section " + s.name;
    const uint64_t covered = readPages(s, out, what);
    if (covered < s.size && !required)
        return {};
    if (covered < s.size)
        out_.problems.push_back(what + ": its pages hold " + str(covered) + " of " + str(s.size) +
                                " bytes");
    return QByteArray::fromRawData(out, qsizetype(s.size));
}

} // namespace dv::dwg

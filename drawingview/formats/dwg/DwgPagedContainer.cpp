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
    const SectionInfo& header = find("AcDb:Header");
    const SectionInfo& classes = find("AcDb:Classes");
    const SectionInfo& handles = find("AcDb:Handles");
    const SectionInfo& objects = find("AcDb:AcDbObjects");
    // Not every file has one, and nothing else depends on it.
    const auto templ = std::find_if(sections_.begin(), sections_.end(),
                                    [](const SectionInfo& s) { return s.name == "AcDb:Template"; });
    bool hasTemplate = templ != sections_.end();

    // One block holds them all, each on a 16-byte boundary.
    const auto place = [](uint64_t size) { return (size + 15) & ~uint64_t(15); };
    for (const SectionInfo* s : {&header, &classes, &handles, &objects})
        budget_.spend(place(s->size), "section " + s->name);
    if (hasTemplate) {
        try {
            if (templ->encrypted)
                fail("section AcDb:Template is encrypted");
            budget_.spend(place(templ->size), "section AcDb:Template");
        } catch (const FormatError& e) {
            out_.problems.push_back(e.what());
            hasTemplate = false;
        }
    }
    const uint64_t total = place(header.size) + place(classes.size) + place(handles.size) +
                           place(objects.size) + (hasTemplate ? place(templ->size) : 0);
    out_.storage = zeroedForHugePages(size_t(total));
    char* at = out_.storage.get();
    const auto next = [&](const SectionInfo& s, bool required) {
        QByteArray bytes = section(s, at, required);
        at += place(s.size);
        return bytes;
    };
    out_.header = next(header, true);
    out_.classes = next(classes, true);
    out_.handles = next(handles, true);
    out_.objects = next(objects, true);
    if (hasTemplate) {
        try {
            out_.templ = next(*templ, false);
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

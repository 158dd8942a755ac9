#include "formats/dwg/DwgContainer2004.h"

#include "formats/dwg/DwgByteReader.h"
#include "formats/dwg/DwgChecksum.h"
#include "formats/dwg/DwgLz77.h"
#include "formats/dwg/DwgPagedContainer.h"
#include "formats/dwg/DwgSections.h"

#include <algorithm>
#include <cstring>

namespace dv::dwg {

void applyHeaderMask(uint8_t* bytes, size_t size) {
    uint32_t seed = 1;
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 0x343fd + 0x269ec3;
        bytes[i] ^= static_cast<uint8_t>(seed >> 16);
    }
}

void applyPageHeaderMask(uint8_t* header, uint64_t address) {
    const uint32_t mask = 0x4164536b ^ static_cast<uint32_t>(address);
    for (int i = 0; i < 32; ++i)
        header[i] ^= static_cast<uint8_t>(mask >> (8 * (i % 4)));
}

namespace {

constexpr size_t kHeaderAt = 0x80;
constexpr size_t kHeaderSize = 0x6c;
// Page addresses in the file header and maps count from here.
constexpr uint64_t kPagesStart = 0x100;
constexpr uint32_t kPageMapType = 0x41630e3b;
constexpr uint32_t kSectionMapType = 0x4163003b;
constexpr uint32_t kDataPageType = 0x4163043b;
constexpr size_t kSystemHeaderSize = 0x14;
constexpr size_t kDataHeaderSize = 0x20;

class Container2004 : public PagedContainer {
public:
    Container2004(const char* data, size_t size) : PagedContainer(data, size, "section page map") {}

private:
    static constexpr uint64_t kCompressed = 2; // a section's pages' storage; 1: stored

    void readFileHeader() override {
        if (size_ < kHeaderAt + kHeaderSize)
            fail("truncated file header");
        const std::string tag(reinterpret_cast<const char*>(data_), 6);
        if (tag == "AC1018")
            readVersionFields(Release::R2004);
        else if (tag == "AC1024")
            readVersionFields(Release::R2010);
        else if (tag == "AC1027")
            readVersionFields(Release::R2013);
        else if (tag == "AC1032")
            readVersionFields(Release::R2018);
        else
            fail("not an R2004-style drawing (" + tag + ")");
        uint8_t header[kHeaderSize];
        std::memcpy(header, data_ + kHeaderAt, kHeaderSize);
        applyHeaderMask(header, kHeaderSize);
        if (std::memcmp(header, "AcFssFcAJMB", 12) != 0)
            fail("damaged file header (its signature is wrong)");
        ByteReader r(header, kHeaderSize, "file header");
        r.seek(0x54);
        pageMapAddress_ = r.u64();
        sectionMapId_ = r.u32();
        r.seek(0x68);
        const uint32_t crc = r.u32();
        std::memset(header + 0x68, 0, 4);
        if (crc32Of(header, kHeaderSize) != crc)
            out_.problems.push_back("the file header fails its CRC");
    }

    // A system page: a plain header, then its (usually compressed) data.
    QByteArray systemPage(uint64_t address, uint32_t type, const std::string& what) {
        if (!inFile(address, kSystemHeaderSize))
            fail(what + " lies outside the file");
        ByteReader r(data_ + address, size_ - address, what);
        if (r.u32() != type)
            fail(what + " has a damaged header");
        const uint32_t outSize = r.u32();
        const uint32_t inSize = r.u32();
        const uint32_t compression = r.u32();
        const uint32_t checksum = r.u32();
        if (inSize > r.remaining())
            fail("truncated " + what);
        const uint8_t* in = r.bytes(inSize);

        uint8_t head[kSystemHeaderSize];
        std::memcpy(head, data_ + address, kSystemHeaderSize);
        std::memset(head + 0x10, 0, 4);
        if (pageChecksum(pageChecksum(0, head, sizeof head), in, inSize) != checksum)
            out_.problems.push_back(what + " fails its checksum");

        if (compression != 2) {
            if (outSize > inSize)
                fail("truncated " + what);
            return QByteArray(reinterpret_cast<const char*>(in), outSize);
        }
        budget_.spend(outSize, what);
        QByteArray page(static_cast<qsizetype>(outSize), Qt::Uninitialized);
        inflate(decompressLz77, in, inSize, page.data(), outSize, what);
        return page;
    }

    void readPageMap() override {
        if (pageMapAddress_ > size_)
            fail("the section page map lies outside the file");
        const QByteArray map =
            systemPage(pageMapAddress_ + kPagesStart, kPageMapType, "the section page map");
        ByteReader r(reinterpret_cast<const uint8_t*>(map.constData()), map.size(),
                     "section page map");
        uint64_t address = kPagesStart;
        while (!r.atEnd()) {
            const int32_t number = r.i32();
            const uint32_t size = r.u32();
            if (number < 0)
                r.skip(16); // a gap: its parent, left and right, and a zero
            else
                pages_[uint64_t(number)] = {address, size};
            address += size;
        }
    }

    void readSectionMap() override {
        const PageLocation& at = page(sectionMapId_, "the section map");
        const QByteArray map = systemPage(at.address, kSectionMapType, "the section map");
        ByteReader r(reinterpret_cast<const uint8_t*>(map.constData()), map.size(), "section map");
        const uint32_t count = r.u32();
        r.skip(16);
        for (uint32_t i = 0; i < count; ++i) {
            SectionInfo s;
            s.size = r.u64();
            const uint32_t pageCount = r.u32();
            s.maxPageSize = r.u32();
            r.skip(4);
            s.storage = r.u32();
            r.skip(4); // its id
            s.encrypted = r.u32() == 1;
            const char* name = reinterpret_cast<const char*>(r.bytes(64));
            s.name.assign(name, strnlen(name, 64));
            if (pageCount > r.remaining() / 16)
                fail("truncated section map");
            s.pages.reserve(pageCount);
            for (uint32_t p = 0; p < pageCount; ++p) {
                PageRef page;
                page.id = r.u32();
                page.dataSize = r.u32();
                page.start = r.u64();
                s.pages.push_back(page);
            }
            sections_.push_back(std::move(s));
        }
    }

    uint64_t readPages(const SectionInfo& s, char* out, const std::string& what) override {
        uint64_t covered = 0;
        bool checksumsReported = false;
        for (const PageRef& ref : s.pages) {
            const std::string pageName = what + ": page " + str(ref.id);
            if (ref.start >= s.size)
                fail(pageName + " starts past the section's end");
            const uint64_t address = page(ref.id, pageName).address;
            if (!inFile(address, kDataHeaderSize + ref.dataSize))
                fail(pageName + " lies outside the file");

            uint8_t head[kDataHeaderSize];
            std::memcpy(head, data_ + address, kDataHeaderSize);
            applyPageHeaderMask(head, address);
            ByteReader h(head, kDataHeaderSize, "page header");
            if (h.u32() != kDataPageType)
                fail(pageName + " has a damaged header");
            h.seek(0x18);
            const uint32_t headerSum = h.u32();
            const uint32_t dataSum = h.u32();
            const uint8_t* in = data_ + address + kDataHeaderSize;
            const uint32_t actualDataSum = pageChecksum(0, in, ref.dataSize);
            std::memset(head + 0x18, 0, 4);
            if ((actualDataSum != dataSum ||
                 pageChecksum(actualDataSum, head, kDataHeaderSize) != headerSum) &&
                !checksumsReported) {
                out_.problems.push_back(pageName + " fails its checksum");
                checksumsReported = true;
            }

            const uint64_t room = s.size - ref.start;
            char* to = out + ref.start;
            if (s.storage == kCompressed) {
                budget_.spend(s.maxPageSize, what);
                if (s.maxPageSize <= room) {
                    inflate(decompressLz77, in, ref.dataSize, to, s.maxPageSize, pageName);
                    covered += s.maxPageSize;
                } else {
                    // The last page is decompressed whole; its tail lies past
                    // the section's end.
                    QByteArray last(static_cast<qsizetype>(s.maxPageSize), Qt::Uninitialized);
                    inflate(decompressLz77, in, ref.dataSize, last.data(), s.maxPageSize, pageName);
                    std::memcpy(to, last.constData(), room);
                    covered += room;
                }
            } else {
                const uint64_t n = std::min<uint64_t>(ref.dataSize, room);
                std::memcpy(to, in, n);
                covered += n;
            }
        }
        return covered;
    }

    uint64_t pageMapAddress_ = 0;
    uint32_t sectionMapId_ = 0;
};

} // namespace

Sections readR2004Container(const char* data, size_t size) {
    return Container2004(data, size).read();
}

} // namespace dv::dwg

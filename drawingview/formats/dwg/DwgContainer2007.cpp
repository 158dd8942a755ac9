#include "formats/dwg/DwgByteReader.h"
#include "formats/dwg/DwgLz2007.h"
#include "formats/dwg/DwgPagedContainer.h"
#include "formats/dwg/DwgReedSolomon.h"
#include "formats/dwg/DwgSections.h"

#include <algorithm>
#include <cstring>

namespace dv::dwg {

namespace {

constexpr size_t kHeaderAt = 0x80;
constexpr size_t kHeaderRaw = 0x3d8;
constexpr size_t kHeaderBlocks = 3;
constexpr size_t kHeaderFields = 0x110;
// Pages and the page map's address count from here.
constexpr uint64_t kPagesStart = 0x480;
constexpr size_t kCodeWord = 255;
constexpr size_t kSystemData = 239; // data bytes per code word on system pages
constexpr size_t kPageData = 251;   // and on data pages

uint64_t align8(uint64_t v) {
    return (v + 7) & ~uint64_t(7);
}

class Container2007 : public PagedContainer {
public:
    Container2007(const char* data, size_t size) : PagedContainer(data, size, "page map") {}

private:
    static constexpr uint64_t kEncoded = 4; // a section's pages stored as code words

    // Stored bytes, compressed when they are fewer than the data they hold.
    QByteArray expand(const uint8_t* in, uint64_t inSize, uint64_t outSize,
                      const std::string& what) {
        budget_.spend(outSize, what);
        if (inSize >= outSize)
            return QByteArray(reinterpret_cast<const char*>(in), static_cast<qsizetype>(outSize));
        QByteArray out(static_cast<qsizetype>(outSize), Qt::Uninitialized);
        inflate(decompressLz2007, in, inSize, out.data(), outSize, what);
        return out;
    }

    void readFileHeader() override {
        if (size_ < kHeaderAt + kHeaderRaw)
            fail("truncated file header");
        if (std::memcmp(data_, "AC1021", 6) != 0)
            fail("not an R2007 drawing");
        readVersionFields(Release::R2007);

        // The three code words span 3 * 255 bytes; the rest is padding.
        const QByteArray plain =
            deinterleaveBlocks(data_ + kHeaderAt, kHeaderRaw, kHeaderBlocks, kSystemData);
        ByteReader r(reinterpret_cast<const uint8_t*>(plain.constData()), plain.size(),
                     "file header");
        r.skip(24); // CRC, key, CRC of the compressed data
        const int32_t stored = r.i32();
        r.skip(4);
        const uint64_t inSize = stored < 0 ? uint64_t(-int64_t(stored)) : uint64_t(stored);
        if (inSize > r.remaining())
            fail("damaged file header (its data length is " + str(inSize) + ")");
        const uint8_t* in = r.bytes(inSize);
        QByteArray fields;
        if (stored < 0) {
            if (inSize < kHeaderFields)
                fail("damaged file header (its data is too short)");
            fields = QByteArray(reinterpret_cast<const char*>(in), kHeaderFields);
        } else {
            fields = QByteArray(kHeaderFields, Qt::Uninitialized);
            inflate(decompressLz2007, in, inSize, fields.data(), kHeaderFields, "the file header");
        }
        ByteReader f(reinterpret_cast<const uint8_t*>(fields.constData()), fields.size(),
                     "file header");
        f.skip(8);
        const uint64_t declaredSize = f.u64();
        if (declaredSize != size_)
            out_.problems.push_back("the file is " + str(size_) + " bytes long, its header says " +
                                    str(declaredSize));
        f.skip(8);
        pageMapCorrection_ = f.u64();
        f.skip(3 * 8);
        pageMapAddress_ = f.u64();
        f.skip(2 * 8);
        pageMapStored_ = f.u64();
        pageMapSize_ = f.u64();
        f.skip(10 * 8);
        sectionMapStored_ = f.u64();
        f.skip(8);
        sectionMapId_ = f.u64();
        sectionMapSize_ = f.u64();
        f.skip(8);
        sectionMapCorrection_ = f.u64();
    }

    // A system page: code words holding `correction` copies of the stored
    // data, of which the first is read.
    QByteArray systemPage(uint64_t address, uint64_t stored, uint64_t size, uint64_t correction,
                          const std::string& what) {
        if (address > size_)
            fail(what + " lies outside the file");
        if (stored == 0 || stored > size_ || correction == 0 || correction > size_)
            fail(what + " has damaged sizes");
        const uint64_t blocks = (align8(stored) * correction + kSystemData - 1) / kSystemData;
        if (blocks > (size_ - address) / kCodeWord)
            fail("truncated " + what);
        const QByteArray plain = deinterleaveBlocks(data_ + address, size_ - address,
                                                    static_cast<size_t>(blocks), kSystemData);
        return expand(reinterpret_cast<const uint8_t*>(plain.constData()), stored, size, what);
    }

    void readPageMap() override {
        if (pageMapAddress_ > size_ - kPagesStart)
            fail("the page map lies outside the file");
        const QByteArray map = systemPage(kPagesStart + pageMapAddress_, pageMapStored_,
                                          pageMapSize_, pageMapCorrection_, "the page map");
        ByteReader r(reinterpret_cast<const uint8_t*>(map.constData()), map.size(), "page map");
        uint64_t address = kPagesStart;
        while (r.remaining() >= 16) {
            const uint64_t size = r.u64();
            const int64_t id = static_cast<int64_t>(r.u64());
            if (size > size_ - std::min<uint64_t>(address, size_))
                fail("page " + std::to_string(id) + " lies outside the file");
            pages_[id < 0 ? -uint64_t(id) : uint64_t(id)] = {address, size};
            address += size;
        }
    }

    static std::string utf16Name(const uint8_t* p, size_t bytes) {
        std::string name;
        for (size_t i = 0; i + 1 < bytes; i += 2) {
            const uint16_t c = uint16_t(p[i] | (p[i + 1] << 8));
            if (c == 0)
                break;
            name += c < 0x80 ? char(c) : '?';
        }
        return name;
    }

    void readSectionMap() override {
        const PageLocation& at = page(sectionMapId_, "the section map");
        const QByteArray map = systemPage(at.address, sectionMapStored_, sectionMapSize_,
                                          sectionMapCorrection_, "the section map");
        ByteReader r(reinterpret_cast<const uint8_t*>(map.constData()), map.size(), "section map");
        while (r.remaining() >= 64) {
            SectionInfo s;
            s.size = r.u64();
            s.maxPageSize = r.u64();
            s.encrypted = r.u64() == 1;
            r.skip(8); // hash
            const uint64_t nameBytes = r.u64();
            r.skip(8);
            s.storage = r.u64();
            const uint64_t pageCount = r.u64();
            if (nameBytes > r.remaining())
                fail("truncated section map");
            s.name = utf16Name(r.bytes(nameBytes), nameBytes);
            if (pageCount > r.remaining() / 56)
                fail("truncated section map");
            s.pages.reserve(pageCount);
            for (uint64_t p = 0; p < pageCount; ++p) {
                PageRef ref;
                ref.start = r.u64();
                r.skip(8); // its size in the file, which the page map gives too
                ref.id = r.u64();
                ref.dataSize = r.u64();
                ref.compressedSize = r.u64();
                // A checksum and CRC follow, of forms not known to us;
                // damage shows in the sections' own sentinels and CRCs.
                r.skip(16);
                s.pages.push_back(ref);
            }
            sections_.push_back(std::move(s));
        }
    }

    uint64_t readPages(const SectionInfo& s, char* out, const std::string& what) override {
        uint64_t covered = 0;
        for (const PageRef& ref : s.pages) {
            const std::string pageName = what + ": page " + str(ref.id);
            if (ref.start >= s.size || ref.dataSize > s.size - ref.start)
                fail(pageName + " lies past the section's end");
            const PageLocation& loc = page(ref.id, pageName);
            if (ref.compressedSize > loc.size)
                fail(pageName + " holds more than its page");
            const uint8_t* in = data_ + loc.address;
            QByteArray plain;
            if (s.storage == kEncoded) {
                const uint64_t blocks = (align8(ref.compressedSize) + kPageData - 1) / kPageData;
                plain = deinterleaveBlocks(in, static_cast<size_t>(loc.size),
                                           static_cast<size_t>(blocks), kPageData);
                in = reinterpret_cast<const uint8_t*>(plain.constData());
            }
            if (ref.compressedSize >= ref.dataSize) {
                std::memcpy(out + ref.start, in, ref.dataSize);
            } else {
                budget_.spend(ref.dataSize, what);
                inflate(decompressLz2007, in, ref.compressedSize, out + ref.start, ref.dataSize,
                        pageName);
            }
            covered += ref.dataSize;
        }
        return covered;
    }

    uint64_t pageMapAddress_ = 0, pageMapStored_ = 0, pageMapSize_ = 0, pageMapCorrection_ = 0;
    uint64_t sectionMapId_ = 0, sectionMapStored_ = 0, sectionMapSize_ = 0,
             sectionMapCorrection_ = 0;
};

} // namespace

// R2007 keeps its header and pages as interleaved Reed-Solomon code words,
// compressed by a scheme of its own.
Sections readR2007Container(const char* data, size_t size) {
    if (size < 6 || std::memcmp(data, "AC1021", 6) != 0)
        throw FormatError("not an R2007 drawing");
    return Container2007(data, size).read();
}

} // namespace dv::dwg

#include "DwgObject.h"

namespace dv::dwg {

namespace {

// Reads the modular size that frames an object, byte-aligned at `offset`.
struct Framing {
    uint64_t dataStart = 0;
    uint32_t size = 0;
};

Framing frame(const char* objects, size_t size, uint64_t offset, Release release) {
    if (offset >= size)
        throw FormatError("an object lies past the end of the data");
    BitReader r(objects + offset, size - size_t(offset), release);
    Framing f;
    f.size = r.MS();
    f.dataStart = offset + r.bitPosition() / 8;
    if (f.size > size - f.dataStart)
        throw FormatError("an object of " + std::to_string(f.size) + " bytes at byte " +
                          std::to_string(offset) + " runs past the end of the data");
    return f;
}

// The first string item (1000) of one application's extended data, where
// it leads the data (as a text style's font family does).
std::string firstEedText(BitReader& r) {
    try {
        if (r.bitsLeft() < 8 || r.RC() != 0)
            return {};
        std::string s;
        if (r.atLeast(Release::R2007)) {
            const int n = uint16_t(r.RS());
            for (int i = 0; i < n; ++i) {
                const uint16_t c = uint16_t(r.RS());
                if (c < 0x80)
                    s.push_back(char(c));
            }
        } else {
            const int n = r.RC();
            r.RS(); // code page
            for (int i = 0; i < n; ++i)
                s.push_back(char(r.RC()));
        }
        return s;
    } catch (const FormatError&) {
        return {};
    }
}

} // namespace

ObjectPeek peekObject(const char* objects, size_t size, uint64_t offset, Release release) {
    const Framing f = frame(objects, size, offset, release);
    BitReader r(objects + f.dataStart, f.size, size - size_t(f.dataStart), release);
    ObjectPeek p;
    p.bytes = f.size;
    if (release >= Release::R2010) {
        r.MC(); // handle data's size
        p.type = r.BOT();
    } else {
        p.type = r.BS();
    }
    return p;
}

int lineWeightValue(int index) {
    static const int kWeights[] = {0,  5,  9,  13, 15, 18,  20,  25,  30,  35,  40,  50,
                                   53, 60, 70, 80, 90, 100, 106, 120, 140, 158, 200, 211};
    if (index >= 0 && index < 24)
        return kWeights[index];
    if (index == 30)
        return -2;
    if (index == 31)
        return -3;
    return -1;
}

ObjectReader::ObjectReader(const char* objects, size_t size, uint64_t offset, Release release)
    : data(objects, 0, release), handles(objects, 0, release) {
    const Framing f = frame(objects, size, offset, release);
    data = BitReader(objects + f.dataStart, f.size, size - size_t(f.dataStart), release);
    handles = data;
    size_t handleStart = 0;
    if (release >= Release::R2010) {
        // The size counts the bytes after the handle data's size.
        const uint32_t handleBits = data.MC();
        const size_t start = f.dataStart + data.bitPosition() / 8;
        if (f.size > size - start)
            throw FormatError("an object of " + std::to_string(f.size) + " bytes at byte " +
                              std::to_string(offset) + " runs past the end of the data");
        data = BitReader(objects + start, f.size, size - start, release);
        handles = data;
        if (handleBits > data.limit())
            throw FormatError("an object's handle data is larger than the object");
        handleStart = data.limit() - handleBits;
        m_type = data.BOT();
    } else {
        m_type = data.BS();
    }
    if (release >= Release::R2000 && release < Release::R2010)
        handleStart = size_t(uint32_t(data.RL()));
    head.type = m_type;
    head.handle = data.H().value;
    for (int guard = 0; guard < 4096; ++guard) {
        const int eed = uint16_t(data.BS());
        if (eed == 0)
            break;
        const uint64_t app = data.H().value;
        BitReader items = data;
        data.skipBytes(size_t(eed));
        items.setLimit(data.bitPosition());
        // Kept where something reads it: the view of an R13 or R14 window.
        if (m_type == kViewport)
            extended.push_back({app, items});
        if (const std::string t = firstEedText(items); !t.empty())
            eedTexts.emplace_back(app, t);
    }
    if (release >= Release::R2000)
        splitAt(handleStart);
}

void ObjectReader::splitAt(size_t handleStart) {
    if (handleStart > data.limit() || handleStart < data.bitPosition())
        throw FormatError("an object's data size does not fit the object");
    handles.seek(handleStart);
    data.setLimit(handleStart);
    if (data.atLeast(Release::R2007)) {
        const size_t stringStart = data.useStringsEndingAt(handleStart);
        if (stringStart + 1 < handleStart)
            data.setLimit(stringStart);
    }
}

void ObjectReader::readCommon(bool entity) {
    head.entity = entity;
    const Release r = data.release();
    if (entity && data.B()) {
        const size_t bytes = r >= Release::R2010 ? size_t(data.BLL()) : size_t(uint32_t(data.RL()));
        if (bytes > data.bitsLeft() / 8)
            data.pastEnd(bytes * 8);
        graphics.reserve(bytes);
        for (size_t i = 0; i < bytes; ++i)
            graphics.push_back(char(data.RC()));
    }
    if (r < Release::R2000) {
        splitAt(size_t(uint32_t(data.RL())));
    }
    if (entity)
        head.entMode = data.BB();
    head.numReactors = data.BL();
    if (head.numReactors < 0 || size_t(head.numReactors) > handles.bitsLeft() / 8)
        throw FormatError("an object claims " + std::to_string(head.numReactors) + " reactors");
    if (r >= Release::R2004)
        head.xdicMissing = data.B();
    if (r >= Release::R2013)
        data.B();
    if (!entity)
        return;
    if (r < Release::R2000)
        head.byLayerLt = data.B();
    if (r < Release::R2004)
        head.noLinks = data.B();
    head.color = data.ENC();
    head.ltScale = data.BD();
    if (r >= Release::R2000) {
        head.ltFlags = data.BB();
        head.psFlags = data.BB();
    }
    if (r >= Release::R2007) {
        head.materialFlags = data.BB();
        data.RC(); // shadow flags
    }
    if (r >= Release::R2010) {
        head.visualStyles[0] = data.B();
        head.visualStyles[1] = data.B();
        head.visualStyles[2] = data.B();
    }
    head.invisible = data.BS();
    if (r >= Release::R2000)
        head.lineWeight = data.RC();
}

void ObjectReader::readCommonHandles() {
    const Release r = data.release();
    if (!head.entity || head.entMode == 0)
        head.owner = handleValue();
    for (int i = 0; i < head.numReactors; ++i)
        handles.H(head.handle);
    if (!head.xdicMissing)
        handles.H(head.handle);
    if (!head.entity)
        return;
    if (r < Release::R2000) {
        head.layer = handleValue();
        if (!head.byLayerLt)
            head.ltype = handleValue();
    }
    if (r < Release::R2004 && !head.noLinks) {
        handles.H(head.handle);
        handles.H(head.handle);
    }
    if (r >= Release::R2004 && head.color.book)
        handles.H(head.handle);
    if (r >= Release::R2000) {
        head.layer = handleValue();
        if (head.ltFlags == 3)
            head.ltype = handleValue();
    }
    if (r >= Release::R2007 && head.materialFlags == 3)
        handles.H(head.handle);
    if (r >= Release::R2000 && head.psFlags == 3)
        handles.H(head.handle);
    for (const bool style : head.visualStyles)
        if (style)
            handles.H(head.handle);
}

} // namespace dv::dwg

#include "DwgMaps.h"

#include "DwgBitReader.h"
#include "DwgSectionData.h"

#include <algorithm>
#include <cstring>

namespace dv::dwg {

namespace {

constexpr unsigned char kClassesStart[16] = {0x8D, 0xA1, 0xC4, 0xB8, 0xC4, 0xA9, 0xF8, 0xC5,
                                             0xC0, 0xDC, 0xF4, 0x5F, 0xE7, 0xCF, 0xB6, 0x8A};

} // namespace

std::map<int, DwgClass> readClasses(Sections& s) {
    std::map<int, DwgClass> classes;
    const SectionData d = locateSectionData(s.classes, kClassesStart, s);
    if (!d.found) {
        s.problems.push_back("the classes section has no start sentinel");
        return classes;
    }
    if (d.cutOff)
        s.problems.push_back("the classes section is cut off");
    BitReader r(s.classes.constData() + d.start, d.size, s.release);
    try {
        if (s.release >= Release::R2007)
            useSectionStreams(r, false);
        if (s.release >= Release::R2004) {
            r.BS(); // the highest class number
            r.RC();
            r.RC();
            r.B();
        }
        // Each class takes at least a few bytes; the section's end stops the loop.
        while (r.bitsLeft() >= 8 * 8) {
            const int number = r.BS();
            r.BS(); // proxy flags
            r.T();  // application
            r.T();  // C++ class
            DwgClass k;
            k.dxfName = r.T();
            r.B(); // was a zombie
            const int itemClass = r.BS();
            k.entity = itemClass == 0x1F2;
            if (s.release >= Release::R2004) // instances, release, maintenance, two unknown
                for (int i = 0; i < 5; ++i)
                    r.BL();
            if (number >= 500 && number < 0x8000)
                classes[number] = std::move(k);
        }
    } catch (const FormatError& e) {
        s.problems.push_back(std::string("classes: ") + e.what());
    }
    return classes;
}

namespace {

ObjectMap readMap(Sections& s) {
    ObjectMap map;
    const QByteArray& m = s.handles;
    const auto* p = reinterpret_cast<const unsigned char*>(m.constData());
    const size_t size = size_t(m.size());
    size_t pos = 0;
    map.reserve(size / 2); // an entry takes two bytes at least
    for (;;) {
        if (pos + 2 > size)
            throw FormatError("the object map is cut off at byte " + std::to_string(pos));
        // Each part's size (big-endian) counts its own two bytes, not the CRC.
        const size_t part = size_t(p[pos]) << 8 | p[pos + 1];
        if (part <= 2)
            break;
        if (part > size - pos)
            throw FormatError("a part of the object map runs past its end");
        BitReader r(m.constData() + pos + 2, part - 2, s.release);
        uint64_t handle = 0;
        int64_t offset = 0;
        while (r.bitsLeft() >= 16) {
            handle += r.MC();
            offset += r.MCSigned();
            if (offset < 0 || uint64_t(offset) >= uint64_t(s.objects.size()))
                throw FormatError("the object map places handle " + std::to_string(handle) +
                                  " at byte " + std::to_string(offset) + ", outside the objects");
            map.emplace_back(handle, uint64_t(offset));
        }
        if (pos + part + 2 <= size) {
            const uint16_t stored = uint16_t(p[pos + part] << 8 | p[pos + part + 1]);
            if (crc16(0xC0C1, m.constData() + pos, part) != stored && s.problems.size() < 20)
                s.problems.push_back("a part of the object map has a bad CRC");
        }
        pos += part + 2;
    }
    // Writers keep the handles rising; a map that does not is put in order,
    // the last place of a repeated handle winning.
    const auto byHandle = [](const auto& a, const auto& b) { return a.first < b.first; };
    if (!std::is_sorted(map.begin(), map.end(), byHandle) ||
        std::adjacent_find(map.begin(), map.end(), [](const auto& a, const auto& b) {
            return a.first == b.first;
        }) != map.end()) {
        std::stable_sort(map.begin(), map.end(), byHandle);
        // Of each run of one handle, the last entry stays.
        ObjectMap unique;
        unique.reserve(map.size());
        for (size_t i = 0; i < map.size(); ++i)
            if (i + 1 == map.size() || map[i + 1].first != map[i].first)
                unique.push_back(map[i]);
        map.swap(unique);
    }
    return map;
}

} // namespace

ObjectMap readObjectMap(Sections& s) {
    try {
        return readMap(s);
    } catch (const FormatError& e) {
        throw FormatError(std::string("the object map: ") + e.what());
    }
}

} // namespace dv::dwg

#pragma once

// DXF groups built in memory from DWG objects. Strings live in an arena
// that keeps their addresses while groups are added, so the groups' views
// stay valid as long as the list does.

#include "DwgBitReader.h"
#include "formats/dxf/DxfTokenizer.h"

#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace dv::dwg {

class GroupList {
public:
    void text(int code, std::string_view s) {
        m_arena.emplace_back(s);
        dxf::Group g;
        g.code = code;
        g.value = m_arena.back();
        m_groups.push_back(g);
    }
    // Text that outlives the list (literals).
    void literal(int code, std::string_view s) {
        dxf::Group g;
        g.code = code;
        g.value = s;
        m_groups.push_back(g);
    }
    void real(int code, double v) { number(code, v, true); }
    void integer(int code, int64_t v) { number(code, double(v), false); }
    void handle(int code, uint64_t h);
    void point(int code, Point3 p) {
        real(code, p.x);
        real(code + 10, p.y);
        real(code + 20, p.z);
    }
    void point(int code, Point2 p) {
        real(code, p.x);
        real(code + 10, p.y);
    }
    void extrusion(Point3 p) {
        if (p.x != 0 || p.y != 0 || p.z != 1)
            point(210, p);
    }

    size_t size() const { return m_groups.size(); }
    const std::vector<dxf::Group>& groups() const { return m_groups; }
    const dxf::Group& operator[](size_t i) const { return m_groups[i]; }
    // Appends groups [from, to) of `other`, whose arena must outlive this list.
    void append(const GroupList& other, size_t from, size_t to) {
        m_groups.insert(m_groups.end(), other.m_groups.begin() + std::ptrdiff_t(from),
                        other.m_groups.begin() + std::ptrdiff_t(to));
    }
    void truncate(size_t n) { m_groups.resize(n); }

private:
    void number(int code, double v, bool real) {
        dxf::Group g;
        g.code = code;
        g.isNumber = true;
        g.isReal = real;
        g.number = v;
        m_groups.push_back(g);
    }

    std::deque<std::string> m_arena;
    std::vector<dxf::Group> m_groups;
};

inline void GroupList::handle(int code, uint64_t h) {
    char buf[17];
    int n = 0;
    static const char digits[] = "0123456789ABCDEF";
    char rev[16];
    do {
        rev[n++] = digits[h & 15];
        h >>= 4;
    } while (h && n < 16);
    for (int i = 0; i < n; ++i)
        buf[i] = rev[n - 1 - i];
    text(code, std::string_view(buf, size_t(n)));
}

} // namespace dv::dwg

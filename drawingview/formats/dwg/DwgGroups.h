#pragma once

// DXF groups built in memory from DWG objects. Strings live in an arena
// that keeps their addresses while groups are added, so the groups' views
// stay valid as long as the list does. A list may also take in runs of
// another list's groups by reference, so that the stream the DXF parser
// reads is assembled from the decoded objects without copying them.

#include "DwgBitReader.h"
#include "formats/dxf/DxfTokenizer.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dv::dwg {

class GroupList {
public:
    GroupList() = default;
    // The ranges point at the list's own groups.
    GroupList(const GroupList&) = delete;
    GroupList& operator=(const GroupList&) = delete;

    void text(int code, std::string_view s) {
        dxf::Group g;
        g.setCode(code);
        g.value = store(s);
        push(g);
    }
    // Text that outlives the list (literals).
    void literal(int code, std::string_view s) {
        dxf::Group g;
        g.setCode(code);
        g.value = s;
        push(g);
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

    // Room for n groups at the end, to be filled by setReal: for values whose
    // order in the stream is not the groups' order. Gives the first's index.
    size_t extend(size_t n) {
        const size_t first = m_groups.size();
        m_groups.resize(first + n);
        return first;
    }
    void setReal(size_t i, int code, double v) { m_groups[i] = numberGroup(code, v, true); }

    // The list's own groups, those added by value.
    size_t size() const { return m_groups.size(); }
    const dxf::GroupVector& groups() const { return m_groups; }
    const dxf::Group& operator[](size_t i) const { return m_groups[i]; }
    // Appends own groups [from, to) of `other`, which must outlive this list
    // unchanged in those groups.
    void append(const GroupList& other, size_t from, size_t to) {
        if (from >= to)
            return;
        coverOwn();
        if (!m_ranges.empty() && m_ranges.back().list == &other.m_groups &&
            m_ranges.back().to == from)
            m_ranges.back().to = to;
        else
            m_ranges.push_back({&other.m_groups, from, to});
    }
    // Drops own groups from `n` on, and whatever was appended after them.
    void truncate(size_t n);
    void reserve(size_t groups) { m_groups.reserve(groups); }
    // Everything added, own groups and appended runs, in order.
    const std::vector<dxf::GroupRange>& ranges() const {
        coverOwn();
        return m_ranges;
    }

private:
    static dxf::Group numberGroup(int code, double v, bool real) {
        dxf::Group g;
        g.setCode(code);
        g.isNumber = true;
        g.isReal = real;
        g.number = v;
        return g;
    }
    void number(int code, double v, bool real) { push(numberGroup(code, v, real)); }
    void push(const dxf::Group& g) { m_groups.push_back(g); }
    // Own groups get their range once something else follows them or the
    // ranges are read, so that adding one costs no bookkeeping.
    void coverOwn() const {
        if (m_covered == m_groups.size())
            return;
        if (!m_ranges.empty() && m_ranges.back().list == &m_groups &&
            m_ranges.back().to == m_covered)
            m_ranges.back().to = m_groups.size();
        else
            m_ranges.push_back({&m_groups, m_covered, m_groups.size()});
        m_covered = m_groups.size();
    }
    // A copy of `s` that stays where it is while the list lives.
    std::string_view store(std::string_view s) {
        if (s.size() > m_room) {
            const size_t size = std::max(kArenaBlock, s.size());
            m_arena.push_back(std::make_unique_for_overwrite<char[]>(size));
            m_next = m_arena.back().get();
            m_room = size;
        }
        if (!s.empty())
            std::memcpy(m_next, s.data(), s.size());
        const std::string_view stored(m_next, s.size());
        m_next += s.size();
        m_room -= s.size();
        return stored;
    }

    static constexpr size_t kArenaBlock = 64 * 1024;
    std::vector<std::unique_ptr<char[]>> m_arena;
    char* m_next = nullptr;
    size_t m_room = 0;
    dxf::GroupVector m_groups;
    mutable std::vector<dxf::GroupRange> m_ranges;
    mutable size_t m_covered = 0; // own groups before this have their range
};

inline void GroupList::truncate(size_t n) {
    if (n >= m_groups.size())
        return;
    coverOwn();
    m_groups.resize(n);
    m_covered = n;
    // Ranges come in the order they were added, own groups by rising index.
    for (size_t r = 0; r < m_ranges.size(); ++r) {
        dxf::GroupRange& range = m_ranges[r];
        if (range.list != &m_groups || range.to <= n)
            continue;
        const size_t keep = range.from < n ? r + 1 : r;
        range.to = std::min(range.to, n);
        m_ranges.resize(keep);
        return;
    }
}

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

#include "DxfTokenizer.h"

#include "DxfBinary.h"
#include "DxfGroupPipe.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

namespace dv::dxf {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string quoted(std::string_view s) {
    std::string out = "\"";
    for (char c : s.substr(0, 40))
        out += (static_cast<unsigned char>(c) < 0x20) ? '?' : c;
    if (s.size() > 40)
        out += "...";
    return out + "\"";
}

[[noreturn]] void malformed(int line, const std::string& what) {
    throw SyntaxError("malformed at line " + std::to_string(line) + ": " + what);
}

[[noreturn]] void malformed(const Group& g, const std::string& what) {
    throw SyntaxError("malformed at " + g.where() + ": " + what);
}

} // namespace

std::string_view trimmed(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

Tokenizer::Tokenizer(const char* data, size_t size)
    : m_begin(data), m_pos(data), m_end(data + size) {
    // A UTF-8 byte order mark some editors add.
    if (size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0)
        m_pos += 3;
}

std::string_view Tokenizer::takeLine() {
    const char* start = m_pos;
    const char* p = static_cast<const char*>(std::memchr(start, '\n', size_t(m_end - start)));
    if (!p)
        p = m_end;
    m_pos = p < m_end ? p + 1 : m_end;
    ++m_line;
    if (p > start && p[-1] == '\r')
        --p;
    return {start, size_t(p - start)};
}

bool Tokenizer::next(Group& g) {
    for (;;) {
        if (m_pos >= m_end)
            return false;
        const std::string_view raw = takeLine();
        const int codeLine = m_line;
        const std::string_view code = trimmed(raw);
        if (code.empty()) {
            // Blank lines at the very end are harmless; elsewhere they are not.
            const char* p = m_pos;
            while (p < m_end && (isBlank(*p) || *p == '\n'))
                ++p;
            if (p == m_end) {
                m_pos = m_end;
                return false;
            }
            malformed(codeLine, "group code expected, found an empty line");
        }
        int value = 0;
        const char* first = code.data();
        if (*first == '+')
            ++first;
        const auto [ptr, ec] = std::from_chars(first, code.data() + code.size(), value);
        if (ec != std::errc() || ptr != code.data() + code.size() || value < 0)
            malformed(codeLine, "group code expected, found " + quoted(code));
        if (m_pos >= m_end)
            throw SyntaxError("truncated at line " + std::to_string(codeLine) + ": group code " +
                              std::to_string(value) + " has no value");
        g.setCode(value);
        g.value = takeLine();
        g.setPosition(uint64_t(codeLine));
        if (value != 999)
            return true;
    }
}

std::string Group::where() const {
    const std::string at = position == kFarPosition ? "beyond " + std::to_string(kFarPosition)
                                                    : std::to_string(position);
    return (atOffset ? "byte offset " : "line ") + at;
}

double toDouble(const Group& g) {
    if (g.hasNumber)
        return g.number;
    if (g.isNumber) {
        if (!std::isfinite(g.number))
            malformed(g, "number expected for group code " + std::to_string(g.code));
        return g.number;
    }
    std::string_view s = trimmed(g.value);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    double v = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec == std::errc::result_out_of_range)
        malformed(g, "number out of range " + quoted(g.value));
    if (ec != std::errc() || ptr != s.data() + s.size() || s.empty() || !std::isfinite(v))
        malformed(g, "number expected for group code " + std::to_string(g.code) + ", found " +
                         quoted(g.value));
    return v;
}

int toInt(const Group& g) {
    if (g.isNumber && std::isfinite(g.number))
        return int(std::clamp<double>(std::trunc(g.number), INT32_MIN, INT32_MAX));
    std::string_view s = trimmed(g.value);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    long long v = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec == std::errc() && ptr == s.data() + s.size() && !s.empty())
        return int(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
    // Some writers put "1.0" where an integer belongs.
    const double d = toDouble(g);
    return int(std::clamp<double>(std::trunc(d), INT32_MIN, INT32_MAX));
}

std::string numberText(const Group& g) {
    char buf[40];
    std::to_chars_result r;
    if (!g.isReal)
        r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(g.number));
    else if (!std::isfinite(g.number))
        return "nan";
    else
        r = std::to_chars(buf, buf + sizeof buf - 2, g.number);
    std::string text(buf, size_t(r.ptr - buf));
    if (g.isReal && text.find_first_of(".en") == std::string::npos)
        text += ".0";
    return text;
}

uint64_t toHandle(const Group& g) {
    const std::string_view s = trimmed(g.value);
    uint64_t v = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 16);
    if (ec != std::errc() || ptr != s.data() + s.size())
        return 0;
    return v;
}

} // namespace dv::dxf

namespace dv::dxf {

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = char(x - 32);
        if (y >= 'a' && y <= 'z')
            y = char(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

bool Cursor::atZero(std::string_view name) const {
    return m_group.code == 0 && equalsNoCase(trimmed(m_group.value), name);
}

} // namespace dv::dxf

namespace dv::dxf {

Cursor::Cursor(const std::vector<GroupRange>& ranges) : m_ranges(&ranges) {
    for (const GroupRange& r : ranges)
        m_total += r.to - r.from;
    if (!ranges.empty())
        m_inRange = ranges.front().from;
}

bool Cursor::nextOther() {
    if (m_bin)
        return m_bin->next(m_group);
    if (m_pipe)
        return m_pipe->next(m_group);
    if (m_ranges) {
        while (m_range < m_ranges->size() && m_inRange >= (*m_ranges)[m_range].to)
            if (++m_range < m_ranges->size())
                m_inRange = (*m_ranges)[m_range].from;
        if (m_range >= m_ranges->size())
            return false;
        m_group = (*(*m_ranges)[m_range].list)[m_inRange++];
        ++m_index;
        return true;
    }
    if (m_index >= m_list->size())
        return false;
    m_group = (*m_list)[m_index++];
    return true;
}

size_t Cursor::position() const {
    return m_tok    ? m_tok->position()
           : m_bin  ? m_bin->position()
           : m_pipe ? m_pipe->position()
                    : m_index;
}

size_t Cursor::size() const {
    return m_tok    ? m_tok->size()
           : m_bin  ? m_bin->size()
           : m_pipe ? m_pipe->size()
           : m_list ? m_list->size()
                    : m_total;
}

} // namespace dv::dxf

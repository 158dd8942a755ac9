#pragma once

// Splits an ASCII DXF buffer into (group code, value) pairs without
// allocating. Values are views into the caller's buffer, which must outlive
// the tokenizer.

#include "model/HugePages.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace dv::dxf {

// Packed into 32 bytes: DWG drawings keep every group of their entities in
// memory at once, and large ASCII files pass theirs between threads.
struct Group {
    std::string_view value; // without the line end; trailing blanks kept
    // Binary files and decoded drawings: numbers as read (the value is then
    // empty: numberText() spells it).
    double number = 0;
    // Where the group starts, for messages: the line of its code in ASCII
    // files (from 1), or with `atOffset` its byte offset in binary ones.
    // kFarPosition stands for any position beyond it.
    uint32_t position = 0;
    int16_t code = -1; // codes run from -5 to 1071; others are kept as kOddCode
    bool isNumber : 1 = false;
    bool isReal : 1 = false;
    // ASCII files read ahead on another thread: `number` already holds what
    // toDouble() gives for the value.
    bool hasNumber : 1 = false;
    bool atOffset : 1 = false;

    static constexpr uint32_t kFarPosition = UINT32_MAX;
    static constexpr int16_t kOddCode = INT16_MAX; // a code no reader takes
    void setCode(int c) { code = c >= -5 && c < kOddCode ? int16_t(c) : kOddCode; }
    void setPosition(uint64_t p) { position = p < kFarPosition ? uint32_t(p) : kFarPosition; }
    std::string where() const; // "line N" or "byte offset N"
};
static_assert(sizeof(Group) == 32);

// A problem in the file's syntax; the reader turns it into a ReadError.
class SyntaxError : public std::runtime_error {
public:
    explicit SyntaxError(const std::string& what) : std::runtime_error(what) {}
};

class Tokenizer {
public:
    Tokenizer(const char* data, size_t size);

    // Reads the next pair into `g`, skipping 999 comments. False at the end
    // of the data; throws SyntaxError on a malformed code or a lone code line.
    bool next(Group& g);

    size_t position() const { return size_t(m_pos - m_begin); }
    size_t size() const { return size_t(m_end - m_begin); }

private:
    std::string_view takeLine();

    const char* m_begin;
    const char* m_pos;
    const char* m_end;
    int m_line = 0; // lines consumed so far
};

// Number parsing for values; they throw SyntaxError naming the line.
double toDouble(const Group& g);
int toInt(const Group& g);
uint64_t toHandle(const Group& g); // hexadecimal; 0 when empty or malformed
std::string_view trimmed(std::string_view s);
// The value of a hexadecimal digit (handles, escapes, binary data); -1 if none.
constexpr int hexDigit(char32_t c) {
    return c >= '0' && c <= '9'   ? int(c - '0')
           : c >= 'a' && c <= 'f' ? int(c - 'a' + 10)
           : c >= 'A' && c <= 'F' ? int(c - 'A' + 10)
                                  : -1;
}
// A binary group's number as an ASCII file writes it (100.0 for a real).
std::string numberText(const Group& g);

} // namespace dv::dxf

namespace dv::dxf {

// The tokenizer with one current group, so that a parser can look at the
// group that ends its record and leave it for the next one. Its groups come
// from ASCII or binary DXF text, or from a list built in memory (a DWG
// drawing decoded into the groups its DXF form would have).
class BinaryTokenizer;
class GroupPipe;

// A run of groups in a list, for a stream read from several lists in turn.
// Groups decoded into memory, many at once.
using GroupVector = std::vector<Group, HugePageAllocator<Group>>;

struct GroupRange {
    const GroupVector* list = nullptr;
    size_t from = 0, to = 0;
};

class Cursor {
public:
    explicit Cursor(Tokenizer& tokenizer) : m_tok(&tokenizer) {}
    explicit Cursor(BinaryTokenizer& tokenizer) : m_bin(&tokenizer) {}
    explicit Cursor(GroupPipe& pipe) : m_pipe(&pipe) {}
    // Numbers in binary style (isNumber set); strings must outlive the cursor.
    explicit Cursor(const std::vector<Group>& groups) : m_list(&groups) {}
    // The same over runs of several lists, read in order.
    explicit Cursor(const std::vector<GroupRange>& ranges);

    const Group& group() const { return m_group; }
    bool atEnd() const { return m_end; }
    // Loads the next group; false (and atEnd()) when the data is over.
    bool advance() {
        if (m_end || !(m_tok ? m_tok->next(m_group) : nextOther())) {
            m_end = true;
            m_group.code = -1;
            m_group.value = {};
            return false;
        }
        return true;
    }
    // True at "0 NAME" (the name compared without case and trailing blanks).
    bool atZero(std::string_view name) const;
    // Skips to the next group with code 0 (or the end).
    void skipRecord() {
        while (advance() && m_group.code != 0) {
        }
    }
    // In bytes of the file, or in groups where they were decoded elsewhere.
    size_t position() const;
    size_t size() const;
    bool countsGroups() const { return m_list != nullptr || m_ranges != nullptr; }
    bool isBinary() const { return m_bin != nullptr || countsGroups(); }

private:
    bool nextOther();

    Tokenizer* m_tok = nullptr;
    BinaryTokenizer* m_bin = nullptr;
    GroupPipe* m_pipe = nullptr;
    const std::vector<Group>* m_list = nullptr;
    const std::vector<GroupRange>* m_ranges = nullptr;
    size_t m_range = 0, m_inRange = 0; // the next group of m_ranges
    size_t m_total = 0;
    size_t m_index = 0;
    Group m_group;
    bool m_end = false;
};

bool equalsNoCase(std::string_view a, std::string_view b);

} // namespace dv::dxf

#include "HpglLexer.h"

#include <algorithm>
#include <cstring>

namespace dv::hpgl {

namespace {

constexpr unsigned char kEsc = 0x1b;
// HP-GL/2 parameters never exceed 2^30 in magnitude; larger ones are clamped
// so that nothing downstream meets infinities.
constexpr double kMaxParameter = 1073741824.0;

bool isBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

unsigned char upper(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? c - 32 : c;
}

} // namespace

bool isLetter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

Lexer::Lexer(const char* data, size_t size) : m_data(data), m_size(size) {}

bool Lexer::looksLikeCommand(const char* data, size_t size, size_t pos) {
    if (pos + 2 > size || !isLetter(uchar(data[pos])) || !isLetter(uchar(data[pos + 1])))
        return false;
    if (pos + 2 == size)
        return true;
    const unsigned char c = uchar(data[pos + 2]);
    return isDigit(c) || isBlank(c) || c == ';' || c == ',' || c == '-' || c == '+' || c == '.' ||
           c == '"' || isLetter(c);
}

void Lexer::skipBlanks() {
    while (m_pos < m_size && isBlank(uchar(m_data[m_pos])))
        ++m_pos;
}

void Lexer::skipPjlLine() {
    const char* nl = static_cast<const char*>(std::memchr(m_data + m_pos, '\n', m_size - m_pos));
    const size_t end = nl ? size_t(nl - m_data) + 1 : m_size;
    // A job that switches the printer to HP-GL/2 carries no ESC%#B entry.
    QByteArray line = QByteArray(m_data + m_pos, int(std::min<size_t>(end - m_pos, 256))).toUpper();
    line.replace(' ', "");
    if (line.contains("ENTERLANGUAGE=HPGL"))
        m_mode = Mode::Hpgl;
    m_pos = end;
}

void Lexer::skipQuoted() {
    ++m_pos;
    const char* q = static_cast<const char*>(std::memchr(m_data + m_pos, '"', m_size - m_pos));
    m_pos = q ? size_t(q - m_data) + 1 : m_size;
}

bool Lexer::escape(Command& cmd) {
    const size_t start = m_pos;
    ++m_pos; // ESC
    if (m_pos >= m_size)
        return false;
    const unsigned char c = uchar(m_data[m_pos++]);
    if (c == 'E') {
        m_mode = Mode::Start;
        cmd.kind = Command::Kind::Reset;
        cmd.offset = start;
        return true;
    }
    if (c == '.') {
        // HP-GL/1 device control: ESC . letter, parameters, optional ':'.
        if (m_pos < m_size)
            ++m_pos;
        size_t n = 0;
        while (m_pos < m_size && n++ < 64 &&
               (isDigit(uchar(m_data[m_pos])) || m_data[m_pos] == ';' || m_data[m_pos] == ' '))
            ++m_pos;
        if (m_pos < m_size && m_data[m_pos] == ':')
            ++m_pos;
        return false;
    }
    if (c < 0x21 || c > 0x2f)
        return false; // a two-character sequence: nothing to do
    // Parameterised: ESC, parameter character, optional group character,
    // then value/parameter pairs; a lower-case parameter character chains the
    // next pair, an upper-case one ends the sequence.
    unsigned char group = 0;
    bool entered = false;
    if (m_pos < m_size && uchar(m_data[m_pos]) >= 0x60 && uchar(m_data[m_pos]) <= 0x7e)
        group = uchar(m_data[m_pos++]);
    for (int pairs = 0; m_pos < m_size && pairs < 64; ++pairs) {
        const size_t valueStart = m_pos;
        if (m_data[m_pos] == '+' || m_data[m_pos] == '-')
            ++m_pos;
        double value = 0;
        bool digits = false;
        while (m_pos < m_size && isDigit(uchar(m_data[m_pos]))) {
            value = std::min(value * 10 + (m_data[m_pos] - '0'), 1e15);
            digits = true;
            ++m_pos;
        }
        if (m_pos < m_size && m_data[m_pos] == '.') {
            ++m_pos;
            while (m_pos < m_size && isDigit(uchar(m_data[m_pos])))
                ++m_pos;
        }
        const bool negative = valueStart < m_size && m_data[valueStart] == '-';
        if (m_pos >= m_size)
            return false;
        const unsigned char p = uchar(m_data[m_pos]);
        if (p < 0x40 || p > 0x7e) {
            ++m_damaged; // a broken sequence: resume after it
            return false;
        }
        ++m_pos;
        const unsigned char P = upper(p);
        if (c == '%' && group == 0 && P == 'B') {
            m_mode = Mode::Hpgl;
            entered = true;
        } else if (c == '%' && group == 0 && P == 'A') {
            m_mode = Mode::Pcl;
        } else if (c == '%' && group == 0 && P == 'X') {
            m_mode = Mode::Start; // universal exit: a new job (PJL) follows
        } else {
            if (m_mode == Mode::Start)
                m_mode = Mode::Pcl;
            if (P == 'W' || (c == '&' && group == 'p' && P == 'X')) {
                // Binary data of `value` bytes (raster rows, fonts,
                // transparent print data): skipped by count, never past the end.
                if (digits && !negative)
                    m_pos += size_t(std::min<double>(value, double(m_size - m_pos)));
            }
        }
        if (p <= 0x5e)
            break;
    }
    if (entered) {
        cmd.kind = Command::Kind::EnterHpgl2;
        cmd.offset = start;
    }
    return entered;
}

bool Lexer::next(Command& cmd) {
    for (;;) {
        if (m_pos >= m_size)
            return false;
        const unsigned char c = uchar(m_data[m_pos]);
        if (c == kEsc) {
            Command esc;
            if (escape(esc)) {
                cmd = esc;
                return true;
            }
            continue;
        }
        if (m_mode == Mode::Pcl) {
            // Print data between escapes is not ours to draw.
            const char* e =
                static_cast<const char*>(std::memchr(m_data + m_pos, kEsc, m_size - m_pos));
            m_pos = e ? size_t(e - m_data) : m_size;
            continue;
        }
        if (isBlank(c) || c == ';' || c == 0) {
            ++m_pos;
            continue;
        }
        if (m_mode == Mode::Start) {
            if (c == '@' && m_size - m_pos >= 4 && std::memcmp(m_data + m_pos, "@PJL", 4) == 0) {
                skipPjlLine();
                continue;
            }
            m_mode = isLetter(c) ? Mode::Hpgl : Mode::Pcl;
            continue;
        }
        if (isLetter(c) && m_pos + 1 < m_size && isLetter(uchar(m_data[m_pos + 1]))) {
            cmd.kind = Command::Kind::Mnemonic;
            cmd.name[0] = char(upper(c));
            cmd.name[1] = char(upper(uchar(m_data[m_pos + 1])));
            cmd.name[2] = 0;
            cmd.offset = m_pos;
            m_pos += 2;
            return true;
        }
        ++m_damaged;
        ++m_pos;
    }
}

bool Lexer::number(double& value) {
    while (m_pos < m_size && (isBlank(uchar(m_data[m_pos])) || m_data[m_pos] == ','))
        ++m_pos;
    if (m_pos >= m_size)
        return false;
    size_t p = m_pos;
    bool negative = false;
    if (m_data[p] == '+' || m_data[p] == '-') {
        negative = m_data[p] == '-';
        ++p;
    }
    double v = 0;
    bool digits = false;
    while (p < m_size && isDigit(uchar(m_data[p]))) {
        v = std::min(v * 10 + (m_data[p] - '0'), 1e18);
        digits = true;
        ++p;
    }
    if (p < m_size && m_data[p] == '.') {
        ++p;
        double scale = 0.1;
        while (p < m_size && isDigit(uchar(m_data[p]))) {
            v += (m_data[p] - '0') * scale;
            scale *= 0.1;
            digits = true;
            ++p;
        }
    }
    if (!digits)
        return false;
    m_pos = p;
    value = std::clamp(negative ? -v : v, -kMaxParameter, kMaxParameter);
    return true;
}

void Lexer::endCommand() {
    while (m_pos < m_size) {
        const unsigned char c = uchar(m_data[m_pos]);
        if (c == ';') {
            ++m_pos;
            return;
        }
        if (c == '"') {
            skipQuoted();
            continue;
        }
        if (isBlank(c) || isDigit(c) || c == ',' || c == '+' || c == '-' || c == '.') {
            ++m_pos;
            continue;
        }
        return; // the next mnemonic, an escape or damage: next() decides
    }
}

QByteArray Lexer::textUntil(char terminator, size_t maxBytes) {
    const char* t =
        static_cast<const char*>(std::memchr(m_data + m_pos, terminator, m_size - m_pos));
    const size_t end = t ? size_t(t - m_data) : m_size;
    QByteArray text(m_data + m_pos, int(std::min(end - m_pos, maxBytes)));
    m_pos = t ? end + 1 : m_size;
    return text;
}

} // namespace dv::hpgl

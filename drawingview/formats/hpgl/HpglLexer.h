#pragma once

// Splits an HP-GL or HP-GL/2 byte stream into commands: a two-letter
// mnemonic followed by its parameters. PCL and RTL wrapping is skipped
// (raster transfers by their byte count), HP-GL/2 is entered at ESC%#B and
// left at ESC%#A, and damaged bytes are stepped over to the next mnemonic.

#include <QByteArray>

#include <cstddef>

namespace dv::hpgl {

struct Command {
    enum class Kind { Mnemonic, Reset, EnterHpgl2 };
    Kind kind = Kind::Mnemonic;
    char name[3] = {0, 0, 0}; // upper case
    size_t offset = 0;        // of the command's first byte
};

class Lexer {
public:
    Lexer(const char* data, size_t size);

    // The next command; false at the end of the data.
    bool next(Command& cmd);

    // The next numeric parameter of the current command, skipping commas and
    // blanks; false (consuming nothing else) when its parameters have ended.
    bool number(double& value);
    // Skips what remains of the current command's parameters and its ';'.
    void endCommand();

    // Raw access for commands with their own syntax (LB, DT, PE, SM).
    bool atEnd() const { return m_pos >= m_size; }
    unsigned char peek() const { return m_pos < m_size ? uchar(m_data[m_pos]) : 0; }
    unsigned char get() { return m_pos < m_size ? uchar(m_data[m_pos++]) : 0; }
    void skipBlanks();
    // Text up to (not including) `terminator`, which is consumed; at most
    // `maxBytes` are kept. Ends at the end of the data when it is missing.
    QByteArray textUntil(char terminator, size_t maxBytes);

    size_t pos() const { return m_pos; }
    size_t size() const { return m_size; }
    // Bytes that were neither commands, parameters nor PCL.
    size_t damagedBytes() const { return m_damaged; }

    // True when the bytes from `pos` start like a HP-GL command
    // ("IN;", "SP1", "PU 0,0", ...), used for content detection too.
    static bool looksLikeCommand(const char* data, size_t size, size_t pos);

private:
    enum class Mode { Start, Hpgl, Pcl };
    using uchar = unsigned char;

    // Handles the escape sequence at m_pos; returns true when it yields a
    // command in `cmd`.
    bool escape(Command& cmd);
    void skipPjlLine();
    void skipQuoted();

    const char* m_data;
    size_t m_size;
    size_t m_pos = 0;
    size_t m_damaged = 0;
    Mode m_mode = Mode::Start;
};

bool isLetter(unsigned char c);

} // namespace dv::hpgl

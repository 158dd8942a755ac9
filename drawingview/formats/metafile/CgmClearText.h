#pragma once

// The clear-text CGM encoding: each element is parsed and re-encoded in the
// binary form (at fixed, wide precisions), so one interpreter serves both.

#include "CgmBinary.h"

#include <QString>

#include <cstddef>
#include <vector>

namespace dv::cgm {

class ClearTextStream {
public:
    ClearTextStream(const char* data, size_t size) : m_data(data), m_size(size) {}

    // The precisions the re-encoded elements use; the interpreter starts
    // from them.
    static Precisions precisions();

    // False at the end; throws FormatError on bad syntax or parameters.
    bool next(Element& e);
    size_t offset() const { return m_pos; }
    size_t elementStart() const { return m_start; }
    size_t size() const { return m_size; }

private:
    struct Token {
        enum Kind { Number, Word, String } kind;
        QString text;
        double number = 0;
    };
    bool readElement(QString& name, std::vector<Token>& params);
    void encode(const QString& name, const std::vector<Token>& params, Element& e);
    void skipSpace();

    const char* m_data;
    size_t m_size;
    size_t m_pos = 0;
    size_t m_start = 0;
    // What decides how later parameters are encoded.
    bool m_vdcReal = false;
    bool m_direct = false;
    int m_widthModes[3] = {1, 1, 1}; // line, marker, edge: 0 absolute
    // METAFILE DEFAULTS REPLACEMENT collects its elements between brackets.
    bool m_inDefaults = false;
};

} // namespace dv::cgm

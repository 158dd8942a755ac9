#pragma once

// The binary CGM encoding: the stream of elements (command headers, long
// and partitioned forms, padding) and the decoding of parameter data under
// the precisions in force.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace dv::cgm {

// Thrown for malformed data; the reader adds the file name and offset.
class FormatError : public std::runtime_error {
public:
    explicit FormatError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

struct Element {
    int cls = 0;
    int id = 0;
    size_t offset = 0; // of the command header in the file
    QByteArray data;   // parameters, partitions joined, padding dropped
    QString label;     // the clear-text name of an element we do not know
};

// Readable element name, or "class N id M" for one we do not know.
QString elementName(int cls, int id);

// Walks the elements of `data`; the bytes must outlive the stream.
class ElementStream {
public:
    ElementStream(const char* data, size_t size) : m_data(data), m_size(size) {}
    // False at the end of the bytes; throws FormatError on a damaged header
    // or a length running past the end.
    bool next(Element& e);
    size_t offset() const { return m_pos; }
    // Where the element last started (or failed to) begins.
    size_t elementStart() const { return m_start; }
    size_t size() const { return m_size; }

private:
    unsigned word(size_t at) const;

    const char* m_data;
    size_t m_size;
    size_t m_pos = 0;
    size_t m_start = 0;
};

// How reals are stored: fixed point (whole + fraction bits) or IEEE floating.
struct RealFormat {
    bool fixed = true;
    int bits = 32; // 32 or 64
};

struct Precisions {
    int integer = 16;     // 8, 16, 24, 32
    int index = 16;       // 8, 16, 24, 32
    int colour = 8;       // direct colour components: 8, 16, 24, 32
    int colourIndex = 8;  // 8, 16, 24, 32
    RealFormat real;      // REAL PRECISION
    bool vdcReal = false; // VDC TYPE
    int vdcInteger = 16;  // 16, 24, 32
    RealFormat vdcRealFormat;
    bool directColour = false; // COLOUR SELECTION MODE
    uint32_t colourMin[3] = {0, 0, 0};
    uint32_t colourMax[3] = {255, 255, 255};
};

// Reads typed parameters from one element's data; running short throws.
class ParamReader {
public:
    ParamReader(const QByteArray& data, const Precisions& p) : m_data(data), m_p(p) {}

    size_t remaining() const { return size_t(m_data.size()) - m_pos; }
    bool atEnd() const { return remaining() == 0; }
    size_t position() const { return m_pos; }

    int64_t signedInt(int bits);
    uint64_t unsignedInt(int bits);
    int64_t integer() { return signedInt(m_p.integer); }
    int64_t index() { return signedInt(m_p.index); }
    int enumeration() { return int(signedInt(16)); }
    double real(const RealFormat& f);
    double real() { return real(m_p.real); }
    double vdc() {
        return m_p.vdcReal ? real(m_p.vdcRealFormat) : double(signedInt(m_p.vdcInteger));
    }
    size_t vdcBytes() const {
        return size_t(m_p.vdcReal ? m_p.vdcRealFormat.bits : m_p.vdcInteger) / 8;
    }
    // A direct colour scaled to 0xRRGGBB through COLOUR VALUE EXTENT.
    uint32_t directColour();
    uint32_t colourIndex() { return uint32_t(unsignedInt(m_p.colourIndex)); }
    // Latin-1 string with its length byte (255: long form in partitions).
    QString string();
    // REAL PRECISION parameters: form, two widths.
    RealFormat realFormat();
    // Raw bytes, for cell arrays.
    const char* bytes() const { return m_data.constData() + m_pos; }
    void skip(size_t n);

private:
    void need(size_t n) const;

    const QByteArray& m_data;
    const Precisions& m_p;
    size_t m_pos = 0;
};

// Checks a precision value against the ones the encoding allows.
int checkedPrecision(int64_t bits, bool allowEight, const char* what);

} // namespace dv::cgm

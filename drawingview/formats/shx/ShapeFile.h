#pragma once

// Compiled shape files (.shx with the "AutoCAD-86 shapes" header): each
// shape's name and byte codes by number, and the pen strokes the codes draw.
// Complex linetypes put these shapes into their lines.

#include "model/Document.h"

#include <QByteArray>

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace dv::shx {

class ShapeFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ShapeCodes {
    std::string name;
    std::vector<uint8_t> codes; // up to and including the closing 0, when there is one
};

class ShapeFile {
public:
    // Throws ShapeFileError when the bytes are not a whole shape file.
    static ShapeFile parse(const QByteArray& bytes);
    // A file made of shapes given here (our own outlines).
    static ShapeFile fromShapes(std::map<uint16_t, ShapeCodes> shapes);

    const ShapeCodes* find(uint16_t number) const;
    size_t size() const { return m_shapes.size(); }
    const std::map<uint16_t, ShapeCodes>& shapes() const { return m_shapes; }

    // What shape `number` draws, subshapes followed; empty when the file
    // has no such shape or it draws nothing.
    ShapeStrokes strokes(uint16_t number) const;

private:
    std::map<uint16_t, ShapeCodes> m_shapes;
};

} // namespace dv::shx

#pragma once

// The graphics a CAD program stores with objects other programs cannot
// compute (custom entities written as ACAD_PROXY_ENTITY, or under their own
// class name): a little-endian stream of drawing commands with their
// attributes, decoded into plane shapes.

#include "model/Document.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dv::dxf {

struct ProxyShape {
    enum class Kind { Path, Area, Text };
    Kind kind = Kind::Path;
    std::vector<Vec2> points; // Path and Area
    bool closed = false;      // Path
    // Text: placed as it stands; `raw` is in the file's code page unless `unicode`.
    Text text;
    std::string raw;
    bool unicode = false;
    // The attributes in force: unset means the entity's own.
    std::optional<Color> color;
    int layer = -1; // index into the drawing's layer table
};

struct ProxyGraphics {
    std::vector<ProxyShape> shapes;
    int unknownCommands = 0; // commands read past without drawing
};

// Decodes `data`; a stream cut short or damaged yields what came before.
ProxyGraphics decodeProxyGraphics(const std::vector<uint8_t>& data);

// Appends the bytes that hexadecimal text spells; false if it is not hex.
bool appendHex(std::string_view hex, std::vector<uint8_t>& out);

} // namespace dv::dxf

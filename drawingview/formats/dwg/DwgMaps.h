#pragma once

// The two indexes of a DWG drawing: its classes (custom object types by
// number) and its object map (where each object lies, by handle).

#include "DwgSections.h"

#include <cstdint>
#include <map>
#include <string>

namespace dv::dwg {

struct DwgClass {
    std::string dxfName;
    bool entity = false;
};

// Class number (500 on) -> class. Problems go into `s.problems`.
std::map<int, DwgClass> readClasses(Sections& s);

// Handle -> byte offset into `s.objects`, ordered by handle; a handle the
// map repeats keeps its last offset. Throws FormatError when the map itself
// is unreadable. (Measured: a flat array loads slower, as the many small
// blocks a tree frees after decoding are what the groups' parser then grows
// into, where one large block would go back to the system.)
using ObjectMap = std::map<uint64_t, uint64_t>;
ObjectMap readObjectMap(Sections& s);

} // namespace dv::dwg

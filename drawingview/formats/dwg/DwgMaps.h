#pragma once

// The two indexes of a DWG drawing: its classes (custom object types by
// number) and its object map (where each object lies, by handle).

#include "DwgSections.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace dv::dwg {

struct DwgClass {
    std::string dxfName;
    bool entity = false;
};

// Class number (500 on) -> class. Problems go into `s.problems`.
std::map<int, DwgClass> readClasses(Sections& s);

// (handle, byte offset into `s.objects`) by rising handle; a handle the map
// repeats keeps its last offset. Throws FormatError when the map itself is
// unreadable.
using ObjectMap = std::vector<std::pair<uint64_t, uint64_t>>;
ObjectMap readObjectMap(Sections& s);

} // namespace dv::dwg

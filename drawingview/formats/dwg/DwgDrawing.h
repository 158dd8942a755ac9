#pragma once

// Turns the sections of a DWG drawing into the DXF group stream of the same
// drawing: HEADER, TABLES, BLOCKS, ENTITIES and OBJECTS, as a DXF file of
// AutoCAD 2007 or later would hold them (strings in UTF-8).

#include "DwgGroups.h"
#include "DwgHeader.h"
#include "DwgSections.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace dv::dwg {

struct DecodedDrawing {
    GroupList groups;
    // Where the strings of `groups` live; a large drawing's entities are
    // decoded in parts, the first into `entities`.
    GroupList tables, entities, objects;
    std::vector<std::unique_ptr<GroupList>> moreEntities;
    HeaderVars header;
    // Types not drawn, and objects that failed to decode, with counts.
    std::map<std::string, int> skipped;
};

// `progress` gets 0 to 100 over the objects. Throws FormatError when the
// object map cannot be read; an object that cannot be decoded is counted
// in `skipped` and left out.
void decodeDrawing(Sections& sections, DecodedDrawing& out,
                   const std::function<void(int)>& progress = {});

} // namespace dv::dwg

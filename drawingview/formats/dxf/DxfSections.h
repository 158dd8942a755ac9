#pragma once

// Reads the sections of an ASCII DXF file into the document: HEADER, TABLES,
// BLOCKS, ENTITIES and OBJECTS, then ties layouts to their blocks.

#include "DxfContext.h"
#include "DxfEntities.h"
#include "DxfLineTypes.h"
#include "DxfTokenizer.h"
#include "formats/common/PageWarmer.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace dv::dxf {

class DxfParser {
public:
    using Progress = std::function<void(int percent)>;

    DxfParser(DxfContext& ctx, Cursor& cursor, Progress progress);

    // Reads the whole file; throws SyntaxError. The document is finished
    // (layouts, insert references, entity counts) when it returns.
    void parse();

private:
    void parseHeader();
    void parseTables();
    void parseLineType();
    void parseLayer();
    void parseStyle();
    void parseBlockRecord();
    void parseBlocks();
    void parseEntities();
    void parseObjects();
    void parseLayout();
    void parseImageDef();
    void parseMLineStyle();
    // The display-frame flag of RASTERVARIABLES or WIPEOUTVARIABLES.
    bool readFrameSetting();
    void buildLayouts();
    // Reads entities until "0 <stop>" (or the section's end) into `target`.
    void readEntities(const Target& target, std::string_view stop);
    void reportProgress();
    void warmModelSpace();
    bool atSectionEnd() const;

    DxfContext& m_ctx;
    Cursor& m_c;
    EntityReader m_entities;
    Progress m_progress;
    size_t m_nextReport = 0;
    int m_lastPercent = -1;
    PageWarmer* m_warmer = nullptr; // while a large ENTITIES section is read
    uint32_t m_sinceWarmed = 0;

    struct BlockRecord {
        std::string name;
        uint64_t layout = 0;
    };
    std::unordered_map<uint64_t, BlockRecord> m_blockRecords;

    struct LayoutObject {
        QString name;
        int tabOrder = 0;
        uint64_t handle = 0;
        uint64_t blockRecord = 0;
    };
    std::vector<LayoutObject> m_layouts;

    // Shapes in linetypes wait for the STYLE records that name their files.
    std::vector<PendingShapes> m_pendingShapes;
    std::unordered_map<uint64_t, QString> m_styleFiles; // STYLE handle -> its file

    std::string m_acadVersion;
    std::string m_codePage;
    bool m_paperActive = false;
};

} // namespace dv::dxf

#include "DxfContext.h"

#include "DxfTokenizer.h"

#include <cmath>

namespace dv::dxf {

DxfContext::DxfContext(Document& d) : doc(d) {
    layer("0");
    m_modelBlock = block("*Model_Space", true);
}

const std::string& DxfContext::key(std::string_view raw) {
    const std::string_view t = trimmed(raw);
    m_key.assign(t.data(), t.size());
    for (char& c : m_key)
        if (c >= 'a' && c <= 'z')
            c = char(c - 32);
    return m_key;
}

int DxfContext::layer(std::string_view rawName) {
    // Entities tend to come in runs on one layer.
    if (rawName == m_lastLayerRaw && !doc.layers.empty())
        return m_lastLayer;
    const std::string& k = key(rawName.empty() ? std::string_view("0") : rawName);
    auto it = m_layers.find(k);
    int index;
    if (it != m_layers.end()) {
        index = it->second;
    } else {
        Layer l;
        l.name = text.decodeName(trimmed(rawName.empty() ? std::string_view("0") : rawName));
        doc.layers.push_back(l);
        index = int(doc.layers.size() - 1);
        m_layers.emplace(k, index);
    }
    m_lastLayerRaw.assign(rawName.data(), rawName.size());
    m_lastLayer = index;
    return index;
}

int DxfContext::existingLayer(std::string_view rawName) {
    auto it = m_layers.find(key(rawName.empty() ? std::string_view("0") : rawName));
    return it == m_layers.end() ? -1 : it->second;
}

int DxfContext::block(std::string_view rawName, bool create) {
    const std::string& k = key(rawName);
    auto it = m_blocks.find(k);
    if (it != m_blocks.end())
        return it->second;
    if (!create)
        return -1;
    Block b;
    b.name = text.decodeName(trimmed(rawName));
    doc.blocks.push_back(std::move(b));
    const int index = int(doc.blocks.size() - 1);
    m_blocks.emplace(k, index);
    return index;
}

int DxfContext::paperSpaceBlock() {
    return block("*Paper_Space", true);
}

int DxfContext::existingPaperSpaceBlock() const {
    auto it = m_blocks.find("*PAPER_SPACE");
    return it == m_blocks.end() ? -1 : it->second;
}

int32_t DxfContext::lineType(std::string_view rawName) {
    // Entities tend to come in runs with one linetype.
    if (rawName == m_lastLineTypeRaw)
        return m_lastLineType;
    const std::string& k = key(rawName);
    int32_t index;
    if (k.empty() || k == "BYLAYER") {
        index = LineStyle::ByLayer;
    } else if (k == "BYBLOCK") {
        index = LineStyle::ByBlock;
    } else if (k == "CONTINUOUS") {
        index = LineStyle::Continuous;
    } else if (auto it = m_lineTypes.find(k); it != m_lineTypes.end()) {
        index = it->second;
    } else {
        LineType t;
        t.name = text.decodeName(trimmed(rawName));
        doc.lineTypes.push_back(std::move(t));
        index = int32_t(doc.lineTypes.size() - 1);
        m_lineTypes.emplace(k, index);
    }
    m_lastLineTypeRaw.assign(rawName.data(), rawName.size());
    m_lastLineType = index;
    return index;
}

void DxfContext::setLineType(std::string_view rawName, std::vector<double> dashes,
                             std::vector<LineTypeText> texts) {
    const int32_t index = lineType(rawName);
    if (index < 0)
        return; // the fixed names keep their meaning
    LineType& t = doc.lineTypes[size_t(index)];
    t.period = 0;
    for (double d : dashes)
        t.period += std::abs(d);
    t.dashes = std::move(dashes);
    t.texts = std::move(texts);
}

uint16_t DxfContext::lineStyle(int32_t lineType, double scale, int16_t alpha) {
    if (!(scale > 0) || !std::isfinite(scale))
        scale = 1;
    const LineStyle wanted{lineType, scale, alpha};
    if (wanted == doc.lineStyles.front())
        return 0;
    auto it = m_lineStyles.find({lineType, scale, alpha});
    if (it != m_lineStyles.end())
        return it->second;
    if (doc.lineStyles.size() > 0xFFFF) {
        // Only a file made to exhaust the table gets here: its pattern at
        // scale 1 if that was seen, else the layer's.
        auto plain = m_lineStyles.find({lineType, 1.0, alpha});
        return plain == m_lineStyles.end() ? 0 : plain->second;
    }
    doc.lineStyles.push_back(wanted);
    const uint16_t index = uint16_t(doc.lineStyles.size() - 1);
    m_lineStyles.emplace(StyleKey{lineType, scale, alpha}, index);
    return index;
}

uint16_t DxfContext::entityType(std::string_view name) {
    for (const auto& [n, id] : m_types)
        if (n == name)
            return id;
    const uint16_t id = doc.entityTypeId(QString::fromLatin1(name.data(), qsizetype(name.size())));
    m_types.emplace_back(std::string(name), id);
    return id;
}

void DxfContext::countEntity(int block, uint16_t type) {
    if (block < 0)
        return;
    if (m_counts.size() <= size_t(block))
        m_counts.resize(size_t(block) + 1);
    auto& c = m_counts[size_t(block)];
    if (c.size() <= type)
        c.resize(size_t(type) + 1, 0);
    ++c[type];
}

void DxfContext::countSkipped(std::string_view name) {
    ++m_skipped[std::string(name)];
}

void DxfContext::addInsertReference(int block, uint32_t insert, std::string_view blockName) {
    const std::string& k = key(blockName);
    auto it = m_refNameIds.find(k);
    int32_t id;
    if (it == m_refNameIds.end()) {
        id = int32_t(m_refNames.size());
        m_refNames.push_back(k);
        m_refNameIds.emplace(k, id);
    } else {
        id = it->second;
    }
    m_insertRefs.push_back({block, insert, id});
}

void DxfContext::setStyle(std::string_view name, const Style& s) {
    m_styles[key(name)] = s;
}

const DxfContext::Style* DxfContext::style(std::string_view name) const {
    std::string k(trimmed(name));
    for (char& c : k)
        if (c >= 'a' && c <= 'z')
            c = char(c - 32);
    auto it = m_styles.find(k);
    return it == m_styles.end() ? nullptr : &it->second;
}

void DxfContext::complete() {
    std::vector<int32_t> resolved(m_refNames.size(), -1);
    for (size_t i = 0; i < m_refNames.size(); ++i) {
        auto it = m_blocks.find(m_refNames[i]);
        if (it != m_blocks.end())
            resolved[i] = it->second;
    }
    int unknown = 0;
    for (const InsertRef& r : m_insertRefs) {
        Insert& ins = doc.blocks[size_t(r.block)].inserts[r.insert];
        ins.block = resolved[size_t(r.name)];
        if (ins.block < 0)
            ++unknown;
    }
    if (unknown > 0)
        doc.skippedEntities[QStringLiteral("INSERT of an unknown block")] += unknown;
    for (size_t b = 0; b < m_counts.size() && b < doc.blocks.size(); ++b)
        for (size_t t = 0; t < m_counts[b].size(); ++t)
            if (m_counts[b][t] > 0)
                doc.blocks[b].entityCounts[doc.entityTypeNames[t]] += m_counts[b][t];
    for (const auto& [name, n] : m_skipped)
        doc.skippedEntities[QString::fromLatin1(name.data(), qsizetype(name.size()))] += n;
}

} // namespace dv::dxf

#include "DrawingObjects.h"

namespace dv {

using namespace DrawingViewLib;

const Layout* DrawingSession::currentLayout() const {
    if (!document || layout < 0 || layout >= int(document->layouts.size()))
        return nullptr;
    return &document->layouts[layout];
}

Box DrawingSession::extents() const {
    if (!document)
        return {};
    if (document->kind == Document::Kind::Raster) {
        Box b;
        if (!document->raster.isNull()) {
            b.add(0, 0);
            b.add(document->raster.width(), document->raster.height());
        }
        return b;
    }
    const Layout* l = currentLayout();
    return l ? l->extents : Box{};
}

WordBool LayerObject::Visible() const {
    const auto& layers = m_session->document->layers;
    return m_index < int(layers.size()) && layers[m_index].on ? WordTrue : WordFalse;
}

void LayerObject::setVisible(WordBool visible) {
    auto& layers = m_session->document->layers;
    if (m_index < int(layers.size()))
        layers[m_index].on = visible != 0;
}

uint32_t LayerObject::LayerColor() const {
    const auto& layers = m_session->document->layers;
    if (m_index >= int(layers.size()))
        return 0;
    const Color c = layers[m_index].color;
    // The foreground colour is reported as white, its palette entry.
    return toWindowsColor(c.kind == Color::Kind::Rgb ? c.rgb : 0xFFFFFFu);
}

QString LayerObject::Name() const {
    const auto& layers = m_session->document->layers;
    return m_index < int(layers.size()) ? layers[m_index].name : QString();
}

QString LayoutObject::Name() const {
    const auto& layouts = m_session->document->layouts;
    return m_index < int(layouts.size()) ? layouts[m_index].name : QString();
}

int ConverterObject::Count(int kind) const {
    const Document& doc = *m_session->document;
    switch (kind) {
    case CountEntities: {
        int n = 0;
        for (const Layout& l : doc.layouts)
            if (l.block >= 0 && l.block < int(doc.blocks.size()))
                for (const auto& [type, count] : doc.blocks[l.block].entityCounts)
                    n += count;
        return n;
    }
    case CountBlocks:
        return int(doc.blocks.size());
    case CountLayouts:
        return int(doc.layouts.size());
    case CountLayers:
        return int(doc.layers.size());
    default:
        return 0;
    }
}

std::shared_ptr<ILayer> ConverterObject::Layers(int index) const {
    if (index < 0 || index >= int(m_session->document->layers.size()))
        return nullptr;
    return std::make_shared<LayerObject>(m_session, index);
}

std::shared_ptr<ILayout> ConverterObject::Layouts(int index) const {
    if (index < 0 || index >= int(m_session->document->layouts.size()))
        return nullptr;
    return std::make_shared<LayoutObject>(m_session, index);
}

std::shared_ptr<ILayout> DXFImageObject::CurrentLayout() const {
    if (!m_session->currentLayout())
        return nullptr;
    return std::make_shared<LayoutObject>(m_session, m_session->layout);
}

void DXFImageObject::setCurrentLayout(const std::shared_ptr<ILayout>& layout) {
    const auto chosen = std::dynamic_pointer_cast<LayoutObject>(layout);
    if (!chosen || chosen->session() != m_session.get())
        return;
    if (m_switcher) {
        m_switcher(chosen->index());
        return;
    }
    if (m_session->layout != chosen->index()) {
        m_session->layout = chosen->index();
        OnLayoutChange();
    }
}

std::shared_ptr<IConverter> DXFImageObject::Converter() const {
    return std::make_shared<ConverterObject>(m_session);
}

} // namespace dv

#pragma once

// The automation objects the control hands out for a loaded drawing. Each
// holds the drawing's session, so a host that keeps one keeps the document
// alive after the control has moved on to another file.

#include "DrawingViewLib.h"
#include "model/Document.h"

#include <functional>
#include <memory>

namespace dv {

// One loaded document and what the control shows of it.
struct DrawingSession {
    std::shared_ptr<Document> document;
    int layout = 0; // index into document->layouts

    const Layout* currentLayout() const;
    Box extents() const; // of the current layout; the image for rasters
};

class LayerObject : public DrawingViewLib::ILayer {
public:
    LayerObject(std::shared_ptr<DrawingSession> session, int index)
        : m_session(std::move(session)), m_index(index) {}
    DrawingViewLib::WordBool Visible() const override;
    void setVisible(DrawingViewLib::WordBool visible) override;
    uint32_t LayerColor() const override;
    QString Name() const override;

private:
    std::shared_ptr<DrawingSession> m_session;
    int m_index;
};

class LayoutObject : public DrawingViewLib::ILayout {
public:
    LayoutObject(std::shared_ptr<DrawingSession> session, int index)
        : m_session(std::move(session)), m_index(index) {}
    // Layouts are always shown when chosen; there is nothing to hide.
    DrawingViewLib::WordBool Visible() const override { return DrawingViewLib::WordTrue; }
    void setVisible(DrawingViewLib::WordBool) override {}
    QString Name() const override;

    const DrawingSession* session() const { return m_session.get(); }
    int index() const { return m_index; }

private:
    std::shared_ptr<DrawingSession> m_session;
    int m_index;
};

class ConverterObject : public DrawingViewLib::IConverter {
public:
    explicit ConverterObject(std::shared_ptr<DrawingSession> session)
        : m_session(std::move(session)) {}
    int Count(int kind) const override;
    std::shared_ptr<DrawingViewLib::ILayer> Layers(int index) const override;
    int ActiveLayoutIndex() const override { return m_session->layout; }
    std::shared_ptr<DrawingViewLib::ILayout> Layouts(int index) const override;

private:
    std::shared_ptr<DrawingSession> m_session;
};

class DXFImageObject : public DrawingViewLib::IDXFImage {
public:
    // `switchLayout` lets the control show the chosen layout; without it
    // (the control has moved on) the object only records the choice.
    using LayoutSwitcher = std::function<void(int)>;

    explicit DXFImageObject(std::shared_ptr<DrawingSession> session)
        : m_session(std::move(session)) {}

    double DrawingHeight() const override { return m_session->extents().height(); }
    double DrawingWidth() const override { return m_session->extents().width(); }
    int LayoutsCount() const override { return int(m_session->document->layouts.size()); }
    std::shared_ptr<DrawingViewLib::ILayout> CurrentLayout() const override;
    void setCurrentLayout(const std::shared_ptr<DrawingViewLib::ILayout>& layout) override;
    std::shared_ptr<DrawingViewLib::IConverter> Converter() const override;

    void setLayoutSwitcher(LayoutSwitcher switcher) { m_switcher = std::move(switcher); }
    const std::shared_ptr<DrawingSession>& session() const { return m_session; }

private:
    std::shared_ptr<DrawingSession> m_session;
    LayoutSwitcher m_switcher;
};

// 0x00BBGGRR of a 0xRRGGBB colour.
inline uint32_t toWindowsColor(uint32_t rgb) {
    return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

} // namespace dv

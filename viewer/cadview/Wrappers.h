#pragma once

// Holders for objects handed out by the control. Each keeps one reference and,
// where the object raises events, one subscription; disconnect releases both,
// so nothing is called back into a holder that no longer wants it.

#include "DrawingViewLib.h"

#include <functional>
#include <memory>

class TDXFImage {
public:
    TDXFImage() = default;
    TDXFImage(const TDXFImage&) = delete;
    TDXFImage& operator=(const TDXFImage&) = delete;
    ~TDXFImage();

    void connectTo(std::shared_ptr<DrawingViewLib::IDXFImage> image);
    void disconnect();
    bool isConnected() const { return m_intf != nullptr; }
    const std::shared_ptr<DrawingViewLib::IDXFImage>& intf() const { return m_intf; }

    // These throw DrawingViewError while nothing is connected.
    double DrawingHeight() const;
    double DrawingWidth() const;
    int LayoutsCount() const;
    std::shared_ptr<DrawingViewLib::ILayout> CurrentLayout() const;
    void setCurrentLayout(const std::shared_ptr<DrawingViewLib::ILayout>& layout);
    std::shared_ptr<DrawingViewLib::IConverter> Converter() const;

    // Raised when the connected drawing shows another layout.
    std::function<void()> OnLayoutChange;

private:
    const DrawingViewLib::IDXFImage& checked() const;

    std::shared_ptr<DrawingViewLib::IDXFImage> m_intf;
    int m_layoutChangeId = 0;
};

class TConverter {
public:
    void connectTo(std::shared_ptr<DrawingViewLib::IConverter> converter);
    void disconnect() { m_intf.reset(); }
    bool isConnected() const { return m_intf != nullptr; }
    const std::shared_ptr<DrawingViewLib::IConverter>& intf() const { return m_intf; }

    int Count(int kind) const;
    std::shared_ptr<DrawingViewLib::ILayer> Layers(int index) const;
    int ActiveLayoutIndex() const;
    std::shared_ptr<DrawingViewLib::ILayout> Layouts(int index) const;

private:
    const DrawingViewLib::IConverter& checked() const;

    std::shared_ptr<DrawingViewLib::IConverter> m_intf;
};

class TLayer {
public:
    void connectTo(std::shared_ptr<DrawingViewLib::ILayer> layer) { m_intf = std::move(layer); }
    void disconnect() { m_intf.reset(); }
    bool isConnected() const { return m_intf != nullptr; }
    const std::shared_ptr<DrawingViewLib::ILayer>& intf() const { return m_intf; }

    DrawingViewLib::WordBool Visible() const;
    void setVisible(DrawingViewLib::WordBool visible);
    uint32_t LayerColor() const;
    QString Name() const;

private:
    DrawingViewLib::ILayer& checked() const;

    std::shared_ptr<DrawingViewLib::ILayer> m_intf;
};

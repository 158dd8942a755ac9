#include "Wrappers.h"

using namespace DrawingViewLib;

namespace {
[[noreturn]] void throwNotConnected(const char* what) {
    throw DrawingViewError(std::string("No ") + what + " is connected");
}
} // namespace

TDXFImage::~TDXFImage() {
    disconnect();
}

void TDXFImage::connectTo(std::shared_ptr<IDXFImage> image) {
    disconnect();
    m_intf = std::move(image);
    if (m_intf) {
        // The handler is looked up at raise time, so it can be set after connecting.
        m_layoutChangeId = m_intf->OnLayoutChange.connect([this] {
            if (OnLayoutChange)
                OnLayoutChange();
        });
    }
}

void TDXFImage::disconnect() {
    if (m_intf && m_layoutChangeId)
        m_intf->OnLayoutChange.disconnect(m_layoutChangeId);
    m_layoutChangeId = 0;
    m_intf.reset();
}

const IDXFImage& TDXFImage::checked() const {
    if (!m_intf)
        throwNotConnected("drawing");
    return *m_intf;
}

double TDXFImage::DrawingHeight() const {
    return checked().DrawingHeight();
}
double TDXFImage::DrawingWidth() const {
    return checked().DrawingWidth();
}
int TDXFImage::LayoutsCount() const {
    return checked().LayoutsCount();
}
std::shared_ptr<ILayout> TDXFImage::CurrentLayout() const {
    return checked().CurrentLayout();
}
std::shared_ptr<IConverter> TDXFImage::Converter() const {
    return checked().Converter();
}

void TDXFImage::setCurrentLayout(const std::shared_ptr<ILayout>& layout) {
    if (!m_intf)
        throwNotConnected("drawing");
    m_intf->setCurrentLayout(layout);
}

void TConverter::connectTo(std::shared_ptr<IConverter> converter) {
    m_intf = std::move(converter);
}

const IConverter& TConverter::checked() const {
    if (!m_intf)
        throwNotConnected("converter");
    return *m_intf;
}

int TConverter::Count(int kind) const {
    return checked().Count(kind);
}
std::shared_ptr<ILayer> TConverter::Layers(int index) const {
    return checked().Layers(index);
}
int TConverter::ActiveLayoutIndex() const {
    return checked().ActiveLayoutIndex();
}
std::shared_ptr<ILayout> TConverter::Layouts(int index) const {
    return checked().Layouts(index);
}

ILayer& TLayer::checked() const {
    if (!m_intf)
        throwNotConnected("layer");
    return *m_intf;
}

WordBool TLayer::Visible() const {
    return checked().Visible();
}
void TLayer::setVisible(WordBool visible) {
    checked().setVisible(visible);
}
uint32_t TLayer::LayerColor() const {
    return checked().LayerColor();
}
QString TLayer::Name() const {
    return checked().Name();
}

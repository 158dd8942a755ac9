#pragma once

// The automation interfaces of the DrawingView control. The viewer talks to
// the control only through these. Objects handed out are reference counted;
// a failed call throws DrawingViewError.

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

class QWidget;

namespace DrawingViewLib {

// Automation booleans: true is -1, and any non-zero value reads as true.
using WordBool = int16_t;
constexpr WordBool WordTrue = -1;
constexpr WordBool WordFalse = 0;

class DrawingViewError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct DrawingPoint {
    double X = 0;
    double Y = 0;
    double Z = 0;
};

// Windows-style rectangle: Right and Bottom lie just outside.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
};

// An event source that handlers connect to and disconnect from. Handlers may
// disconnect themselves (or others) while the event is raised.
template <typename... Args> class Event {
public:
    using Handler = std::function<void(Args...)>;

    int connect(Handler handler) {
        m_handlers.emplace_back(++m_lastId, std::move(handler));
        return m_lastId;
    }
    void disconnect(int id) {
        std::erase_if(m_handlers, [id](const auto& h) { return h.first == id; });
    }
    bool isConnected(int id) const {
        for (const auto& h : m_handlers)
            if (h.first == id)
                return true;
        return false;
    }
    int connectionCount() const { return int(m_handlers.size()); }
    void operator()(Args... args) const {
        const auto handlers = m_handlers;
        for (const auto& h : handlers)
            if (isConnected(h.first))
                h.second(args...);
    }

private:
    std::vector<std::pair<int, Handler>> m_handlers;
    int m_lastId = 0;
};

class IEntity {
public:
    virtual ~IEntity() = default;
    virtual WordBool Visible() const = 0;
    virtual void setVisible(WordBool visible) = 0;
};

class ILayout : public IEntity {
public:
    virtual QString Name() const = 0;
};

class ILayer : public IEntity {
public:
    // 0x00BBGGRR, as a Windows colour value.
    virtual uint32_t LayerColor() const = 0;
    virtual QString Name() const = 0;
};

// Kinds for IConverter::Count.
enum CountKind { CountEntities = 0, CountBlocks = 1, CountLayouts = 3, CountLayers = 4 };

class IConverter {
public:
    virtual ~IConverter() = default;
    virtual int Count(int kind) const = 0;
    // nullptr for an index outside the range
    virtual std::shared_ptr<ILayer> Layers(int index) const = 0;
    virtual int ActiveLayoutIndex() const = 0;
    virtual std::shared_ptr<ILayout> Layouts(int index) const = 0;
};

class IDXFImage {
public:
    virtual ~IDXFImage() = default;
    virtual double DrawingHeight() const = 0;
    virtual double DrawingWidth() const = 0;
    virtual int LayoutsCount() const = 0;
    virtual std::shared_ptr<ILayout> CurrentLayout() const = 0;
    // Shows the given layout; nullptr or a layout of another drawing is ignored.
    virtual void setCurrentLayout(const std::shared_ptr<ILayout>& layout) = 0;
    virtual std::shared_ptr<IConverter> Converter() const = 0;

    Event<> OnLayoutChange;
};

// Numbers accepted by ExecuteCommand and SetCommandState.
enum Command {
    CmdOpen = 1,
    CmdZoomIn = 2,
    CmdZoomOut = 3,
    CmdFit = 4,
    CmdRealSize = 5,
    CmdPreviousScale = 6,
    CmdClose = 7,
    CmdRefresh = 8,
    CmdSaveAs = 11,
    CmdCopyToClipboard = 12,
    CmdPrintPreview = 13,
    CmdPrint = 14,
    CmdLayers = 19,
    CmdLayouts = 20,
    CmdBorder = 21,
    CmdPan = 22,
    CmdZoomWindow = 23,
    CmdMeasure = 24,
    CmdAbout = 25,
};

// Property #214: the control's own mouse navigation. When true, a drag with
// the right button pans and the wheel zooms about the cursor; when false the
// control leaves the mouse to its host. It starts false.
class IDrawingView {
public:
    virtual ~IDrawingView() = default;

    virtual QWidget* widget() = 0;

    virtual void ExecuteCommand(int command) = 0;
    virtual void ZoomAt(bool absolute, double factor, int x, int y) = 0;
    virtual void LoadFile(const QString& fileName) = 0;
    virtual void CloseFile() = 0;
    virtual void PreviousScale() = 0;
    virtual void RefreshView() = 0;
    virtual DrawingPoint ScreenToDrawing(int x, int y) const = 0;
    virtual TRect GetImageRect() const = 0;
    virtual bool IsDrawing() const = 0;
    virtual bool IsEmpty() const = 0;
    virtual void SetCommandState(int command, bool enabled) = 0;
    virtual std::shared_ptr<IDXFImage> DXFImage() const = 0;

    virtual bool MouseNavigation() const = 0; // #214
    virtual void setMouseNavigation(bool on) = 0;
    virtual bool LayoutsBarVisible() const = 0;
    virtual void setLayoutsBarVisible(bool visible) = 0;
    virtual bool ToolBarVisible() const = 0;
    virtual void setToolBarVisible(bool visible) = 0;
    virtual bool IsWithoutBorder() const = 0;
    virtual void setIsWithoutBorder(bool withoutBorder) = 0;
    virtual int RasterWidth() const = 0;
    virtual int RasterHeight() const = 0;
    virtual QString FileName() const = 0;

    // Host-side dragging of the control (used to float it out of its window).
    // With automatic drag on, a left-button drag past the platform's start
    // distance raises OnStartDrag, and the release raises OnEndDrag.
    virtual bool AutoDrag() const = 0;
    virtual void setAutoDrag(bool on) = 0;

    // State, PercentDone, RedrawNow, Msg
    Event<int, uint8_t, bool, QString> OnProgress;
    // Shift (Qt::KeyboardModifiers as int), X, Y in client coordinates
    Event<int, int, int> OnMouseMove;
    Event<> OnBeforeLoad;
    Event<> OnAfterLoad;
    Event<> OnLayoutChange;
    Event<> OnStartDrag;
    Event<> OnEndDrag;
};

} // namespace DrawingViewLib

#pragma once

// A scripted stand-in for the drawing control: it records every call as a
// line of text, answers from fields the test sets, raises events on demand
// and can be told to fail a named call.

#include "DrawingViewLib.h"

#include <QSet>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <vector>

class FakeLayout : public DrawingViewLib::ILayout {
public:
    explicit FakeLayout(QString name) : m_name(std::move(name)) {}
    DrawingViewLib::WordBool Visible() const override { return m_visible; }
    void setVisible(DrawingViewLib::WordBool visible) override { m_visible = visible; }
    QString Name() const override { return m_name; }

private:
    QString m_name;
    DrawingViewLib::WordBool m_visible = DrawingViewLib::WordTrue;
};

// Counts its visibility writes, so tests see which layers were touched.
class FakeLayer : public DrawingViewLib::ILayer {
public:
    FakeLayer(QString name, DrawingViewLib::WordBool visible, uint32_t color = 0x0000FF)
        : m_name(std::move(name)), m_color(color), visible(visible) {}
    DrawingViewLib::WordBool Visible() const override { return visible; }
    void setVisible(DrawingViewLib::WordBool value) override {
        visible = value;
        ++writes;
    }
    uint32_t LayerColor() const override { return m_color; }
    QString Name() const override { return m_name; }

private:
    QString m_name;
    uint32_t m_color;

public:
    DrawingViewLib::WordBool visible;
    int writes = 0;
};

class FakeConverter : public DrawingViewLib::IConverter {
public:
    int Count(int kind) const override {
        if (kind == DrawingViewLib::CountLayers)
            return int(layers.size());
        return kind == DrawingViewLib::CountLayouts ? int(layouts.size()) : 0;
    }
    std::shared_ptr<DrawingViewLib::ILayer> Layers(int index) const override {
        if (index < 0 || index >= int(layers.size()))
            return nullptr;
        return layers[size_t(index)];
    }
    int ActiveLayoutIndex() const override { return activeLayoutIndex; }
    std::shared_ptr<DrawingViewLib::ILayout> Layouts(int index) const override {
        if (index < 0 || index >= int(layouts.size()))
            return nullptr;
        return layouts[size_t(index)];
    }

    std::vector<std::shared_ptr<FakeLayout>> layouts;
    std::vector<std::shared_ptr<FakeLayer>> layers;
    int activeLayoutIndex = 0;
};

class FakeDXFImage : public DrawingViewLib::IDXFImage {
public:
    explicit FakeDXFImage(QStringList* log) : m_log(log) {}

    double DrawingHeight() const override { return height; }
    double DrawingWidth() const override { return width; }
    int LayoutsCount() const override { return converter ? int(converter->layouts.size()) : 0; }
    std::shared_ptr<DrawingViewLib::ILayout> CurrentLayout() const override { return current; }
    void setCurrentLayout(const std::shared_ptr<DrawingViewLib::ILayout>& layout) override {
        m_log->append(QStringLiteral("setCurrentLayout(%1)").arg(layout ? layout->Name() : "nil"));
        if (layout)
            current = layout;
    }
    std::shared_ptr<DrawingViewLib::IConverter> Converter() const override {
        return withConverter ? converter : nullptr;
    }

    // Sets the current layout by index and raises the change.
    void showLayout(int index) {
        current = converter->layouts[size_t(index)];
        OnLayoutChange();
    }

    double width = 210;
    double height = 297;
    bool withConverter = true;
    std::shared_ptr<FakeConverter> converter = std::make_shared<FakeConverter>();
    std::shared_ptr<DrawingViewLib::ILayout> current;

private:
    QStringList* m_log;
};

class FakeDrawingView : public QWidget, public DrawingViewLib::IDrawingView {
    Q_OBJECT
public:
    enum class Content { Empty, Raster, Drawing };

    explicit FakeDrawingView(QWidget* parent = nullptr);

    // Scripting.
    Content content = Content::Empty;
    // What the next LoadFile turns into, and the progress it reports on the way.
    Content nextContent = Content::Drawing;
    std::vector<std::pair<int, QString>> progressSteps;
    QString fileName;
    int rasterWidth = 0;
    int rasterHeight = 0;
    DrawingViewLib::TRect imageRect;
    DrawingViewLib::DrawingPoint point;
    std::shared_ptr<FakeDXFImage> image;
    QSet<QString> failing; // names of calls that throw
    QStringList log;
    bool mouseNavigation = false;
    bool withoutBorder = false;

    // Makes `image` a drawing with the given layout names.
    void setLayouts(const QStringList& names, int active = 0);
    QStringList callsNamed(const QString& name) const;

    // IDrawingView
    QWidget* widget() override { return this; }
    void ExecuteCommand(int command) override;
    void ZoomAt(bool absolute, double factor, int x, int y) override;
    void LoadFile(const QString& fileName) override;
    void CloseFile() override;
    void PreviousScale() override;
    void RefreshView() override;
    DrawingViewLib::DrawingPoint ScreenToDrawing(int x, int y) const override;
    DrawingViewLib::TRect GetImageRect() const override;
    bool IsDrawing() const override;
    bool IsEmpty() const override;
    void SetCommandState(int command, bool enabled) override;
    std::shared_ptr<DrawingViewLib::IDXFImage> DXFImage() const override;
    bool MouseNavigation() const override { return mouseNavigation; }
    void setMouseNavigation(bool on) override;
    bool LayoutsBarVisible() const override { return false; }
    void setLayoutsBarVisible(bool visible) override;
    bool ToolBarVisible() const override { return false; }
    void setToolBarVisible(bool visible) override;
    bool IsWithoutBorder() const override;
    void setIsWithoutBorder(bool withoutBorder) override;
    int RasterWidth() const override;
    int RasterHeight() const override;
    QString FileName() const override;
    bool AutoDrag() const override { return autoDrag; }
    void setAutoDrag(bool on) override;

    bool autoDrag = false;

private:
    void record(const QString& call) const;
    void check(const QString& name) const;
};

#pragma once

// TfmLayers: lists the drawing's layers with a check mark, a colour swatch and
// the name. Every toggle is written to the drawing at once and the view is
// redrawn; Cancel, Esc and the close box put back the visibility it had when
// the dialog opened.

#include "DrawingViewLib.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <vector>

class QListWidget;
class QListWidgetItem;
class QPushButton;

class TfmLayers : public QDialog {
    Q_OBJECT
public:
    TfmLayers(std::shared_ptr<DrawingViewLib::IDXFImage> drawing,
              DrawingViewLib::IDrawingView* control, QWidget* parent = nullptr);
    ~TfmLayers() override;

    static QString switchCaption(int tag);

    // Adds one entry; its check mark mirrors the layer's visibility.
    void addLayer(const std::shared_ptr<DrawingViewLib::ILayer>& layer);
    std::shared_ptr<DrawingViewLib::ILayer> layerAt(int index) const;

    void clbLayersClickCheck();
    void btnSwitchClick();

    QListWidget* clbLayers = nullptr;
    QPushButton* btnSwitch = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int switchTag() const;

    std::shared_ptr<DrawingViewLib::IDXFImage> m_drawing;
    DrawingViewLib::IDrawingView* m_control = nullptr;
    std::vector<std::shared_ptr<DrawingViewLib::ILayer>> m_layers;
    bool m_filling = false;
};

// Runs the layers dialog for the drawing; true when the user closed it with OK.
// A nil drawing shows nothing and gives false.
bool ShowLayersDialog(const std::shared_ptr<DrawingViewLib::IDXFImage>& drawing,
                      DrawingViewLib::IDrawingView* control);

// Tests drive the modal dialog through this: it runs once the dialog is shown
// and before its event loop, and may close it.
void setLayersDialogShownHook(std::function<void(TfmLayers&)> hook);
// The bounds kept for the rest of the run; a null rectangle before the first close.
QRect layersDialogBounds();
void resetLayersDialogBounds();

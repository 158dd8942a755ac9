#include "layers_dialog.h"

// The dialog itself is not written yet; until then the command opens nothing.
bool ShowLayersDialog(const std::shared_ptr<DrawingViewLib::IDXFImage>& drawing,
                      DrawingViewLib::IDrawingView* control) {
    (void)drawing;
    (void)control;
    return false;
}

#pragma once

#include "DrawingViewLib.h"

#include <memory>

// Runs the layers dialog for the drawing; true when the user closed it with OK.
// A nil drawing shows nothing and gives false.
bool ShowLayersDialog(const std::shared_ptr<DrawingViewLib::IDXFImage>& drawing,
                      DrawingViewLib::IDrawingView* control);

#include "popups/popup_factory.h"

#include "popups/tidewell_default.h"
#include "popups/tidewell_web_content.h"
#include "popups/tidewell_widget_base.h"

#include <new>

namespace tidewell {

TidewellBase* createPopup(int type) {
    switch (type) {
    case 1:
        return new (std::nothrow) TidewellWidgetBase;
    case 2:
        return new (std::nothrow) TidewellWebContent;
    default:
        return new (std::nothrow) TidewellDefault;
    }
}

} // namespace tidewell

#pragma once

class TidewellBase;

namespace tidewell {

// The popup for a message type: 1 text, 2 web content, any other the update notice.
// Created without a parent; null when it could not be created.
TidewellBase* createPopup(int type);

} // namespace tidewell

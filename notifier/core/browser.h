#pragma once

#include <QString>

namespace tidewell {

// Hands a link to the desktop's browser, but only when it is an http or https URL with a host:
// links come from server data, and other schemes (file:, javascript:, custom handlers) could
// run or reveal things on the user's machine. False when the link was dropped.
bool openInBrowser(const QString& link);

} // namespace tidewell

#include "core/browser.h"

#include <QDesktopServices>
#include <QUrl>

namespace tidewell {

bool openInBrowser(const QString& link) {
    const QUrl url(link); // tolerant parsing, as a browser would read a pasted link
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return false;
    QDesktopServices::openUrl(url);
    return true;
}

} // namespace tidewell

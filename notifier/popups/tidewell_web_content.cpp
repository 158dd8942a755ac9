#include "popups/tidewell_web_content.h"

#include "core/browser.h"
#include "core/json_text.h"
#include "popups/scaling.h"

#include <QEventLoop>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

int TidewellWebContent::loadLimitMs = 20000;

namespace {

// Reports link clicks instead of following them, so the page stays as it is.
class DelegatingPage : public QWebEnginePage {
    Q_OBJECT

public:
    using QWebEnginePage::QWebEnginePage;

signals:
    void linkClicked(const QUrl& url);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool) override {
        if (type == NavigationTypeLinkClicked) {
            emit linkClicked(url);
            return false;
        }
        return true;
    }
};

bool isWebUrl(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

} // namespace

TidewellWebContent::TidewellWebContent(QWidget* parent) : TidewellWidgetBase(parent) {}

void TidewellWebContent::setData(const Json::Value& record) {
    TidewellWidgetBase::setData(record);
    std::string text;
    if (tidewell::json::memberText(record, "contentUrl", text))
        contentUrl = tidewell::json::toQString(text);
}

// Only web pages: a server-named file: or script URL must not run inside the program.
bool TidewellWebContent::hasContent() {
    return !contentUrl.isEmpty() && isWebUrl(QUrl(contentUrl)) && TidewellWidgetBase::hasContent();
}

void TidewellWebContent::createContent() {
    webView = new QWebEngineView(this);
    auto* page = new DelegatingPage(webView);
    webView->setPage(page);
    webView->move(0, tidewell::scaleY(kTitleBarHeight));
    webView->setFixedSize(tidewell::scaleX(kWidth), tidewell::scaleY(kContentHeight));
    webView->setContextMenuPolicy(Qt::NoContextMenu);
    page->settings()->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    page->setZoomFactor(tidewell::scaleFactor());

    connect(webView, &QWebEngineView::loadFinished, this, &TidewellWebContent::onLoadFineshed);
    connect(page, &DelegatingPage::linkClicked, this, &TidewellWebContent::onWebLinkClick);
    webView->load(QUrl(contentUrl));
}

bool TidewellWebContent::showPopup() {
    hide();
    if (!loadDone) {
        // Wait for the end of loading without spinning, and not for ever: a page that never
        // finishes counts as one that failed.
        QEventLoop wait;
        QTimer limit;
        limit.setSingleShot(true);
        connect(&limit, &QTimer::timeout, &wait, &QEventLoop::quit);
        connect(webView, &QWebEngineView::loadFinished, &wait, &QEventLoop::quit);
        limit.start(loadLimitMs);
        wait.exec();
        if (!loadDone)
            webView->stop();
    }
    if (loadDone && loadOk)
        return TidewellWidgetBase::showPopup();
    if (!parentWidget())
        close();
    return false;
}

void TidewellWebContent::onLoadFineshed(bool ok) {
    loadOk = ok;
    loadDone = true;
}

void TidewellWebContent::onWebLinkClick(const QUrl& url) {
    tidewell::openInBrowser(QString::fromUtf8(url.toEncoded()));
    close();
}

#include "tidewell_web_content.moc"

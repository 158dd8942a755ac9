#pragma once

#include "popups/tidewell_widget_base.h"

#include <QUrl>

class QWebEngineView;

// Shows a web page made for the popup in place of the text area. The popup appears only once
// the page has loaded; links clicked in the page open in the browser.
class TidewellWebContent : public TidewellWidgetBase {
    Q_OBJECT

public:
    explicit TidewellWebContent(QWidget* parent = nullptr);

    void setData(const Json::Value& record) override;

    QString contentUrl;
    QWebEngineView* webView = nullptr;
    bool loadDone = false;
    bool loadOk = false;

    // How long a page may take to load before the popup gives up showing.
    static int loadLimitMs;

protected:
    bool showPopup() override;
    void createContent() override;
    bool hasContent() override;

protected slots:
    void onWebLinkClick(const QUrl& url);
    void onLoadFineshed(bool ok);
};

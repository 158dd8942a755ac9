#pragma once

#include "popups/tidewell_base.h"

#include <QPoint>
#include <QString>
#include <QWidget>

// The frameless popup that rises into the bottom-right corner: title bar, content area and a
// bottom bar with the detail link. On its own it shows plain text messages; the other popup
// kinds replace single steps.
class TidewellWidgetBase : public QWidget, public TidewellBase {
    Q_OBJECT

public:
    explicit TidewellWidgetBase(QWidget* parent = nullptr);
    ~TidewellWidgetBase() override;

    void setData(const Json::Value& record) override;
    bool popup() override;
    bool isManaged() override { return false; }

    QString title;
    QString brief;
    QString jmpUrl;
    QWidget* contentWidget = nullptr;

    static constexpr int kWidth = 300;
    static constexpr int kHeight = 200;
    static constexpr int kTitleBarHeight = 30;
    static constexpr int kContentHeight = 130;
    static constexpr int kBottomBarHeight = 40;
    static constexpr int kSlideMs = 200;

protected:
    virtual void initWindow();
    virtual bool showPopup();
    virtual void createTitleBar();
    virtual void createContent();
    virtual void createBottomBar();
    virtual bool hasContent();

    bool eventFilter(QObject* watched, QEvent* event) override;

    // The link of a bottom-bar label: target HTML-escaped, so server text stays one attribute.
    static QString linkLabelText(const QString& target, const QString& caption);

protected slots:
    virtual void onJumpURL(QString url);

private:
    // One drag at a time per process: the program shows one popup per run.
    static bool s_dragging;
    static QPoint s_dragStart;
};

#include "popups/tidewell_widget_base.h"

#include "core/browser.h"
#include "core/endpoints.h"
#include "core/json_text.h"
#include "core/user_session.h"
#include "popups/placement.h"
#include "popups/scaling.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

using tidewell::scaleX;
using tidewell::scaleY;

bool TidewellWidgetBase::s_dragging = false;
QPoint TidewellWidgetBase::s_dragStart;

namespace {

const QString kFontSmall = QStringLiteral("font-family:\"Microsoft YaHei\";font:10pt;");
const QString kFontLarge = QStringLiteral("font-family:\"Microsoft YaHei\";font:12pt;");

} // namespace

TidewellWidgetBase::TidewellWidgetBase(QWidget* parent) : QWidget(parent) {
    installEventFilter(this);
}

// A press that closed the popup never sees its release; the next popup must not start dragged.
TidewellWidgetBase::~TidewellWidgetBase() {
    s_dragging = false;
}

void TidewellWidgetBase::setData(const Json::Value& record) {
    // A member of a kind that is not text stops the reading there: it and those after it stay
    // empty, which makes the popup decline.
    std::string text;
    if (!tidewell::json::memberText(record, "title", text))
        return;
    title = tidewell::json::toQString(text);
    if (!tidewell::json::memberText(record, "brief", text))
        return;
    brief = tidewell::json::toQString(text);
    if (!tidewell::json::memberText(record, "jmpUrl", text))
        return;
    jmpUrl = tidewell::json::toQString(text);
}

bool TidewellWidgetBase::popup() {
    if (!hasContent())
        return false;
    initWindow();
    return showPopup();
}

bool TidewellWidgetBase::hasContent() {
    return !title.isEmpty() && !brief.isEmpty();
}

void TidewellWidgetBase::initWindow() {
    setStyleSheet(QStringLiteral("background-color:rgb(238, 242, 248)"));
    setFixedSize(scaleX(kWidth), scaleY(kHeight));
    Qt::WindowFlags flags = Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
    if (!parentWidget())
        flags |= Qt::Tool;
    setWindowFlags(flags);
    if (!parentWidget()) {
        // After the flags: Qt clears quit-on-close for tool windows, and this one is the
        // program's only window, whose closing ends the run.
        setAttribute(Qt::WA_QuitOnClose);
        setAttribute(Qt::WA_DeleteOnClose);
    }
    createTitleBar();
    createContent();
    createBottomBar();
}

void TidewellWidgetBase::createTitleBar() {
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("titleBar"));
    bar->setFixedSize(scaleX(kWidth), scaleY(kTitleBarHeight));
    bar->setStyleSheet(QStringLiteral("background-color: rgb(7,167,237);"));

    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);

    auto* logo = new QLabel;
    logo->setObjectName(QStringLiteral("logo"));
    logo->setPixmap(QPixmap(QStringLiteral(":Tidewell/Images/logo.png"))
                        .scaledToHeight(scaleY(24), Qt::FastTransformation));
    logo->setFixedSize(scaleX(24), scaleY(24));
    logo->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);

    auto* caption = new QLabel(tr("Quillon"));
    caption->setObjectName(QStringLiteral("caption"));
    caption->setStyleSheet(kFontSmall + QStringLiteral("color:white;"));

    auto* closeButton = new QPushButton(this);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    closeButton->setFixedSize(scaleX(24), scaleY(24));
    closeButton->setFocusPolicy(Qt::NoFocus);
    closeButton->setToolTip(tr("Close"));
    closeButton->setStyleSheet(
        QStringLiteral("QPushButton{border-image:url(:Tidewell/Images/close.png);} \t"
                       "QPushButton:hover:pressed{border-image:url(:Tidewell/Images/"
                       "close_hover.png);} \t"
                       "QPushButton:hover:!pressed{border-image:url(:Tidewell/Images/"
                       "close_hover.png);}"));

    layout->addSpacing(scaleX(10));
    layout->addWidget(logo);
    layout->addWidget(caption);
    layout->addStretch();
    layout->addWidget(closeButton);
    layout->addSpacing(scaleX(3));
    bar->setLayout(layout);
    bar->move(0, 0);

    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
}

void TidewellWidgetBase::createContent() {
    contentWidget = new QWidget(this);
    contentWidget->setObjectName(QStringLiteral("content"));
    contentWidget->setFixedSize(scaleX(kWidth), scaleY(kContentHeight));

    QString titleText = title;
    QString bodyText = brief;
    if (!jmpUrl.isEmpty()) {
        const QString prefix =
            QStringLiteral("<a href=\"%1\" style=\"text-decoration:none;color:black;\">")
                .arg(jmpUrl.toHtmlEscaped());
        titleText = prefix + title + QStringLiteral("</a>");
        bodyText = prefix + brief + QStringLiteral("</a>");
    }

    auto* titleLabel = new QLabel(titleText);
    titleLabel->setObjectName(QStringLiteral("title"));
    titleLabel->setFixedHeight(scaleY(30));
    titleLabel->setStyleSheet(kFontLarge);
    titleLabel->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    titleLabel->setFixedWidth(scaleX(kWidth));

    auto* bodyLabel = new QLabel(bodyText);
    bodyLabel->setObjectName(QStringLiteral("body"));
    bodyLabel->setWordWrap(true);
    bodyLabel->setStyleSheet(kFontSmall);
    bodyLabel->setContentsMargins(scaleX(20), 0, scaleX(20), 0);
    bodyLabel->setAlignment(Qt::AlignTop);
    bodyLabel->setFixedWidth(scaleX(kWidth));

    // The labels only display: every press in the content area, links included, goes to the
    // area itself and opens the popup's link.
    for (QLabel* label : {titleLabel, bodyLabel})
        label->setAttribute(Qt::WA_TransparentForMouseEvents);

    auto* layout = new QVBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addSpacing(scaleY(5));
    layout->addWidget(titleLabel);
    layout->addSpacing(scaleY(5));
    layout->addWidget(bodyLabel);
    contentWidget->setLayout(layout);
    contentWidget->move(0, scaleY(kTitleBarHeight));
    contentWidget->installEventFilter(this);
}

QString TidewellWidgetBase::linkLabelText(const QString& target, const QString& caption) {
    return QStringLiteral("<style>a{text-decoration:none;color:rgb(0,128,255);}</style>"
                          "<a href=\"%1\">")
               .arg(target.toHtmlEscaped()) +
           caption + QStringLiteral("</a>");
}

void TidewellWidgetBase::createBottomBar() {
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("bottomBar"));
    bar->setFixedSize(scaleX(kWidth), scaleY(kBottomBarHeight));
    bar->move(0, scaleY(kTitleBarHeight + kContentHeight));
    if (jmpUrl.isEmpty())
        return;

    auto* link = new QLabel(linkLabelText(jmpUrl, tr("Detail")));
    link->setObjectName(QStringLiteral("detailLink"));
    link->setFixedWidth(scaleX(60));
    link->setStyleSheet(kFontSmall);
    link->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::MinimumExpanding);

    auto* layout = new QHBoxLayout;
    layout->setAlignment(Qt::AlignRight);
    layout->addWidget(link);
    bar->setLayout(layout);

    connect(link, &QLabel::linkActivated, this, &TidewellWidgetBase::onJumpURL);
}

bool TidewellWidgetBase::showPopup() {
    if (parentWidget())
        return true;

    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect whole = screen ? screen->geometry() : QRect(QPoint(0, 0), size());
    const QRect available = screen ? screen->availableGeometry() : whole;
    const tidewell::SlidePath path = tidewell::slidePath(whole, available, size());

    move(path.start.topLeft());
    show();

    auto* slide = new QPropertyAnimation(this, "geometry", this);
    slide->setStartValue(geometry());
    slide->setEndValue(QRect(path.end.topLeft(), geometry().size()));
    slide->setDuration(kSlideMs);
    slide->start(QAbstractAnimation::KeepWhenStopped);
    return true;
}

bool TidewellWidgetBase::eventFilter(QObject* watched, QEvent* event) {
    if (watched == this) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto* press = static_cast<QMouseEvent*>(event);
            const QPoint pos = press->position().toPoint();
            if (rect().contains(pos) && press->button() == Qt::LeftButton) {
                s_dragStart = pos;
                s_dragging = true;
            }
            break;
        }
        case QEvent::MouseMove:
            if (s_dragging) {
                const QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
                move(x() + pos.x() - s_dragStart.x(), y() + pos.y() - s_dragStart.y());
            }
            break;
        case QEvent::MouseButtonRelease:
            s_dragging = false;
            break;
        default:
            break;
        }
    } else if (watched == contentWidget && event->type() == QEvent::MouseButtonPress) {
        onJumpURL(jmpUrl);
    }
    return QWidget::eventFilter(watched, event);
}

void TidewellWidgetBase::onJumpURL(QString url) {
    if (url.endsWith(QLatin1String(tidewell::kUserIndexPath)))
        UserSession::instance().openJumpLink(QLatin1String(tidewell::kUserIndexPath));
    else
        tidewell::openInBrowser(url); // drops anything but http(s), the popup closes all the same
    close();
}

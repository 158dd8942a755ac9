#include "popups/tidewell_coupon_msg.h"

#include "core/endpoints.h"
#include "core/user_session.h"
#include "popups/scaling.h"

#include <QHBoxLayout>
#include <QLabel>

using tidewell::scaleX;
using tidewell::scaleY;

void TidewellCouponMsg::createBottomBar() {
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("bottomBar"));
    bar->setFixedSize(scaleX(kWidth), scaleY(kBottomBarHeight));
    bar->move(0, scaleY(kTitleBarHeight + kContentHeight));

    // The coupon link does not depend on the record, so the bar is filled whatever jmpUrl holds.
    auto* link = new QLabel(linkLabelText(tidewell::endpoints().couponInfo, tr("View my coupon")));
    link->setObjectName(QStringLiteral("couponLink"));
    link->setAlignment(Qt::AlignRight);
    link->setStyleSheet(QStringLiteral("font-family:\"Microsoft YaHei\";font:10pt;"));
    link->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::MinimumExpanding);

    auto* layout = new QHBoxLayout;
    layout->setAlignment(Qt::AlignRight);
    layout->addWidget(link);
    bar->setLayout(layout);

    connect(link, &QLabel::linkActivated, this, &TidewellCouponMsg::onJumpURL);
}

void TidewellCouponMsg::onJumpURL(QString url) {
    if (url == tidewell::endpoints().couponInfo)
        UserSession::instance().openJumpLink(QLatin1String(tidewell::kCouponInfoPath));
    else
        UserSession::instance().openJumpLink(QLatin1String(tidewell::kUserIndexPath));
    close();
}

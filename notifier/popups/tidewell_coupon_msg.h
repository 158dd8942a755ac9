#pragma once

#include "popups/tidewell_widget_base.h"

// A coupon reminder. Every way out of it leads to a signed-in page of the service: the bottom
// link to the user's coupons, anything else to the user's home page.
class TidewellCouponMsg : public TidewellWidgetBase {
    Q_OBJECT

public:
    explicit TidewellCouponMsg(QWidget* parent = nullptr) : TidewellWidgetBase(parent) {}

protected:
    void createBottomBar() override;

protected slots:
    void onJumpURL(QString url) override;
};

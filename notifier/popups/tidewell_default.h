#pragma once

#include "popups/tidewell_widget_base.h"

// For message types this version does not know: announces the message and links to the
// service's home page, where the newest version can be had.
class TidewellDefault : public TidewellWidgetBase {
    Q_OBJECT

public:
    explicit TidewellDefault(QWidget* parent = nullptr) : TidewellWidgetBase(parent) {}

    // The record is not read.
    void setData(const Json::Value& record) override;
};

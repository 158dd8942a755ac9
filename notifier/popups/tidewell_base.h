#pragma once

#include <json/value.h>

// What the manager knows of a popup: it hands over a record and asks it to show itself.
class TidewellBase {
public:
    virtual ~TidewellBase() = default;
    virtual void setData(const Json::Value& record) = 0;
    // False when there was nothing to show; the popup is then not on the screen.
    virtual bool popup() = 0;
    // True when the caller must keep the popup and delete it later.
    virtual bool isManaged() { return true; }
};

#include "popups/tidewell_default.h"

#include "core/endpoints.h"

void TidewellDefault::setData(const Json::Value&) {
    // The catalogue holds these texts under the context QObject.
    title = QObject::tr("You got a message");
    brief = QObject::tr("Please update to the newest version to read this message");
    jmpUrl = tidewell::endpoints().home;
}

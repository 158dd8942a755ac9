#include "core/clock.h"

namespace tidewell {

namespace {
QDate g_todayOverride;
}

QDate today() {
    return g_todayOverride.isValid() ? g_todayOverride : QDate::currentDate();
}

void setTodayOverride(const QDate& day) {
    g_todayOverride = day;
}

} // namespace tidewell

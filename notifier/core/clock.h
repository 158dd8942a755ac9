#pragma once

#include <QDate>

namespace tidewell {

// The calendar day the daily limits belong to. Tests pin it; the program uses the local clock.
QDate today();

// An invalid date returns to the local clock.
void setTodayOverride(const QDate& day);

} // namespace tidewell

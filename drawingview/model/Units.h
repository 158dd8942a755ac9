#pragma once

// The drawing unit a document declares ($INSUNITS, $MEASUREMENT in its
// header), for true-size printing and for reports.

#include <QString>

#include <map>

namespace dv {

// Millimetres per drawing unit; 1 when the header names no unit.
double millimetresPerUnit(const std::map<QString, QString>& header);
// "millimetres", "inches", ...; "unitless" when the header names none.
QString unitName(const std::map<QString, QString>& header);
// "metric" or "imperial" from $MEASUREMENT; empty when absent.
QString measurementName(const std::map<QString, QString>& header);

} // namespace dv

#include "Units.h"

#include <iterator>

namespace dv {

namespace {

struct Unit {
    const char* name;
    double millimetres;
};

// $INSUNITS codes 0..20.
constexpr Unit units[] = {{"unitless", 1.0},
                          {"inches", 25.4},
                          {"feet", 304.8},
                          {"miles", 1609344.0},
                          {"millimetres", 1.0},
                          {"centimetres", 10.0},
                          {"metres", 1000.0},
                          {"kilometres", 1e6},
                          {"microinches", 2.54e-5},
                          {"mils", 0.0254},
                          {"yards", 914.4},
                          {"angstroms", 1e-7},
                          {"nanometres", 1e-6},
                          {"microns", 1e-3},
                          {"decimetres", 100.0},
                          {"decametres", 1e4},
                          {"hectometres", 1e5},
                          {"gigametres", 1e12},
                          {"astronomical units", 1.495978707e14},
                          {"light years", 9.4607304725808e18},
                          {"parsecs", 3.0856775814913673e19}};

int headerInt(const std::map<QString, QString>& header, const QString& name, int fallback) {
    const auto it = header.find(name);
    if (it == header.end())
        return fallback;
    bool ok = false;
    const int value = it->second.trimmed().toInt(&ok);
    return ok ? value : fallback;
}

int unitCode(const std::map<QString, QString>& header) {
    const int code = headerInt(header, QStringLiteral("$INSUNITS"), 0);
    return code >= 0 && code < int(std::size(units)) ? code : 0;
}

} // namespace

double millimetresPerUnit(const std::map<QString, QString>& header) {
    return units[unitCode(header)].millimetres;
}

QString unitName(const std::map<QString, QString>& header) {
    return QString::fromLatin1(units[unitCode(header)].name);
}

QString measurementName(const std::map<QString, QString>& header) {
    switch (headerInt(header, QStringLiteral("$MEASUREMENT"), -1)) {
    case 0:
        return QStringLiteral("imperial");
    case 1:
        return QStringLiteral("metric");
    default:
        return {};
    }
}

} // namespace dv

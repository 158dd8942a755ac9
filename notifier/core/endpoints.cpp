#include "core/endpoints.h"

#include <QUrl>

#ifndef TIDEWELL_BASE_URL_DEFAULT
#define TIDEWELL_BASE_URL_DEFAULT "http://quillon.example"
#endif

namespace tidewell {

namespace {

Endpoints& table() {
    static Endpoints built = [] {
        QString base = normalizedBaseUrl(qEnvironmentVariable("TIDEWELL_BASE_URL"));
        if (base.isEmpty())
            base = defaultBaseUrl();
        return Endpoints::forBase(base);
    }();
    return built;
}

} // namespace

Endpoints Endpoints::forBase(const QString& base) {
    Endpoints e;
    e.base = base;
    e.home = base + QLatin1Char('/');
    e.getMessage = base + QLatin1String(kGetMessagePath);
    e.timingCoupon = base + QLatin1String(kTimingCouponPath);
    e.tempSession = base + QLatin1String(kTempSessionPath);
    e.skip = base + QLatin1String(kSkipPath);
    e.userIndex = base + QLatin1String(kUserIndexPath);
    e.couponInfo = base + QLatin1String(kCouponInfoPath);
    return e;
}

const Endpoints& endpoints() {
    return table();
}

void setBaseUrl(const QString& base) {
    table() = Endpoints::forBase(base);
}

QString defaultBaseUrl() {
    return QStringLiteral(TIDEWELL_BASE_URL_DEFAULT);
}

QString normalizedBaseUrl(const QString& text) {
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return {};
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return {};
    if (!url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment())
        return {};
    if (!url.path().isEmpty() && url.path() != QLatin1String("/"))
        return {};
    return url.toString(QUrl::RemovePath | QUrl::StripTrailingSlash);
}

} // namespace tidewell

#pragma once

#include <QString>

namespace tidewell {

inline constexpr char kGetMessagePath[] = "/message/getMessage";
inline constexpr char kTimingCouponPath[] = "/couponActivity/getTimingCoupon";
inline constexpr char kTempSessionPath[] = "/user/getTempSession";
inline constexpr char kSkipPath[] = "/user/skip";
inline constexpr char kUserIndexPath[] = "/user/index";
inline constexpr char kCouponInfoPath[] = "/mycenter/getCouponInfo";

// Full URLs of the web service, formed by plain concatenation onto the base URL.
struct Endpoints {
    QString base; // scheme and host, no trailing slash
    QString home; // base + "/"
    QString getMessage;
    QString timingCoupon;
    QString tempSession;
    QString skip;
    QString userIndex;
    QString couponInfo;

    static Endpoints forBase(const QString& base);
};

// The table, built on first use from the environment variable TIDEWELL_BASE_URL when it holds
// a usable http(s) base URL, else from the compiled-in default.
const Endpoints& endpoints();

// Rebuilds the table on another base URL (tests point it at the dev service).
void setBaseUrl(const QString& base);

// The compiled-in base URL.
QString defaultBaseUrl();

// A base URL cleaned to scheme, host and port; empty when `text` is not an http(s) URL with a host.
QString normalizedBaseUrl(const QString& text);

} // namespace tidewell

#pragma once

#include <QByteArray>
#include <QString>

namespace tidewell {

// One GET for the manager's message and coupon checks. Other events of the program keep being
// processed during the wait (it waits for events, it does not spin). Redirects are followed
// by Qt, at most kMaxRedirects of them.
//
// True when the service answered without a network error; `body` then holds the reply's bytes
// up to the first zero byte. False for a network or HTTP error, for no answer within
// `limitMs` (the request is then aborted) and for a body over kMaxBodyBytes.
bool fetchServiceBody(const QString& url, int limitMs, QByteArray* body);

inline constexpr int kServiceFetchLimitMs = 30000;
inline constexpr int kMaxRedirects = 5;
inline constexpr qint64 kMaxBodyBytes = 1 << 20;

} // namespace tidewell

#pragma once

#include <QByteArray>
#include <QString>

namespace tidewell {

enum class FetchResult {
    // A network or HTTP error, or no answer within the limit: the service did not answer.
    Failed,
    // The service answered; the body holds its bytes up to the first zero byte.
    Answered,
    // The service answered with a body over kMaxBodyBytes. It is an answer all the same (the
    // same reply would come again on the next run), but one with nothing to read.
    TooLarge,
};

// One GET for the manager's message and coupon checks. Other events of the program keep being
// processed during the wait (it waits for events, it does not spin). Redirects are followed
// by Qt, at most kMaxRedirects of them. A request still running at the limit, or past the
// size cap, is aborted. `body` is empty unless the result is Answered.
FetchResult fetchServiceBody(const QString& url, int limitMs, QByteArray* body);

inline constexpr int kServiceFetchLimitMs = 30000;
inline constexpr int kMaxRedirects = 5;
inline constexpr qint64 kMaxBodyBytes = 1 << 20;

} // namespace tidewell

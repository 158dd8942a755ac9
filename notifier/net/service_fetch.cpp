#include "net/service_fetch.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace tidewell {

namespace {

// Only a successful status counts as the service's answer; error pages over the cap are
// errors like any other.
bool answeredSoFar(const QNetworkReply* reply) {
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return reply->error() == QNetworkReply::NoError && status >= 200 && status < 300;
}

} // namespace

FetchResult fetchServiceBody(const QString& url, int limitMs, QByteArray* body) {
    body->clear();
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    QNetworkReply* reply = manager.get(request);

    bool timedOut = false;
    bool tooLarge = false;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        if (tooLarge)
            return;
        const QByteArray chunk = reply->readAll();
        if (body->size() + chunk.size() > kMaxBodyBytes) {
            tooLarge = true;
            loop.quit();
            return;
        }
        body->append(chunk);
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    limit.start(limitMs);
    if (!reply->isFinished())
        loop.exec();

    // A reply still running here is aborted when the manager goes.
    if (tooLarge) {
        body->clear();
        return answeredSoFar(reply) ? FetchResult::TooLarge : FetchResult::Failed;
    }
    if (timedOut || !reply->isFinished() || reply->error() != QNetworkReply::NoError) {
        body->clear();
        return FetchResult::Failed;
    }
    const QByteArray rest = reply->readAll();
    if (body->size() + rest.size() > kMaxBodyBytes) {
        body->clear();
        return FetchResult::TooLarge;
    }
    body->append(rest);
    const qsizetype zero = body->indexOf('\0');
    if (zero >= 0)
        body->truncate(zero);
    return FetchResult::Answered;
}

} // namespace tidewell

#include "net/service_fetch.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace tidewell {

bool fetchServiceBody(const QString& url, int limitMs, QByteArray* body) {
    body->clear();
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    QNetworkReply* reply = manager.get(request);

    bool ok = true;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, [&] {
        ok = false;
        loop.quit();
    });
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        const QByteArray chunk = reply->readAll();
        if (body->size() + chunk.size() > kMaxBodyBytes) {
            ok = false;
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
    if (!ok || !reply->isFinished() || reply->error() != QNetworkReply::NoError) {
        body->clear();
        return false;
    }
    const QByteArray rest = reply->readAll();
    if (body->size() + rest.size() > kMaxBodyBytes) {
        body->clear();
        return false;
    }
    body->append(rest);
    const qsizetype zero = body->indexOf('\0');
    if (zero >= 0)
        body->truncate(zero);
    return true;
}

} // namespace tidewell

#include "net/chttp_request.h"

#include "core/json_text.h"

#include <QBuffer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

CHttpRequest::CHttpRequest(const QString& url) : url(url) {}

Json::Value CHttpRequest::get(int* status, int timeoutMs) {
    return fetch(status, timeoutMs, kMaxRedirects);
}

Json::Value CHttpRequest::fetch(int* status, int timeoutMs, int redirectsLeft) {
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    // Redirects are ours to follow, so the hop count and each hop's limit stay in our hands.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    QEventLoop loop;

    CHttpReply reply(manager.get(request));
    reply.setTimeout(timeoutMs);
    reply.start();
    QObject::connect(&reply, &CHttpReply::done, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);

    *status = reply.status();

    if (*status == ReplyRedirect) {
        if (redirectsLeft <= 0) {
            *status = ReplyFailed;
            return Json::Value();
        }
        return CHttpRequest(reply.redirectUrl()).fetch(status, kHopTimeoutMs, redirectsLeft - 1);
    }

    Json::Value result;
    if (*status == ReplyOk && reply.body()) {
        QIODevice* body = reply.body();
        if (body->isOpen())
            body->close();
        body->open(QIODevice::ReadOnly);
        QByteArray bytes = body->readAll();
        // The service may pad its text with a zero byte and junk after it.
        const qsizetype zero = bytes.indexOf('\0');
        if (zero >= 0)
            bytes.truncate(zero);
        tidewell::json::parse(bytes.toStdString(), result);
    }
    return result;
}

CHttpReply::CHttpReply(QNetworkReply* reply) : m_reply(reply), m_timer(new QTimer) {}

CHttpReply::~CHttpReply() {
    if (m_body) {
        m_body->close();
        delete m_body;
    }
    delete m_timer;
    m_reply->deleteLater();
}

void CHttpReply::setTimeout(int ms) {
    m_timeoutMs = ms;
}

QIODevice* CHttpReply::body() const {
    return m_body;
}

void CHttpReply::start() {
    connect(m_reply, &QNetworkReply::finished, this, &CHttpReply::replyfinish);
    connect(m_reply, &QNetworkReply::errorOccurred, this, &CHttpReply::replyerror);
    connect(m_reply, &QNetworkReply::readyRead, this, &CHttpReply::replyreadyread);
    connect(m_timer, &QTimer::timeout, this, &CHttpReply::replytimeout);
    m_timer->start(m_timeoutMs);
}

void CHttpReply::replyfinish() {
    m_timer->stop();
    if (m_overflow)
        return;
    const QVariant code = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (code == QVariant(301) || code == QVariant(302)) {
        const QUrl target = m_reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
        // Without a Location there is nowhere to go; only web schemes are followed, so a
        // server cannot make us read a local file or another handler.
        const QUrl resolved = target.isEmpty() ? QUrl() : m_reply->url().resolved(target);
        const QString scheme = resolved.scheme().toLower();
        m_redirectUrl = resolved.toString();
        m_status = (!m_redirectUrl.isEmpty() &&
                    (scheme == QLatin1String("http") || scheme == QLatin1String("https")))
                       ? ReplyRedirect
                       : ReplyFailed;
    } else {
        const QNetworkReply::NetworkError e = m_reply->error();
        m_status = e == QNetworkReply::NoError                ? ReplyOk
                   : e == QNetworkReply::ContentNotFoundError ? ReplyNotFound
                                                              : ReplyFailed;
    }
    emit done();
}

void CHttpReply::replyerror(QNetworkReply::NetworkError err) {
    m_timer->stop();
    if (m_overflow)
        return;
    m_status = err == QNetworkReply::ContentNotFoundError ? ReplyNotFound : ReplyFailed;
    emit done();
}

void CHttpReply::replyreadyread() {
    m_timer->stop();
    if (m_overflow)
        return;
    if (!m_body) {
        m_body = new QBuffer;
        m_body->open(QIODevice::WriteOnly);
    }
    const QByteArray chunk = m_reply->readAll();
    if (m_body->size() + chunk.size() > kMaxBodyBytes) {
        m_overflow = true;
        m_status = ReplyFailed;
        m_body->close();
        m_body->setData(QByteArray());
        m_reply->abort();
        emit done();
        return;
    }
    m_body->write(chunk);
    m_timer->start(m_timeoutMs);
}

void CHttpReply::replytimeout() {
    emit done();
}

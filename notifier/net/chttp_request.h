#pragma once

#include <json/value.h>

#include <QNetworkReply>
#include <QObject>
#include <QString>

class QBuffer;
class QIODevice;
class QTimer;

enum ReplyStatus {
    ReplyOk = 0,
    ReplyFailed = 2,
    ReplyPending = 3, // still the value when the wait ended by time-out
    ReplyNotFound = 4,
    ReplyRedirect = 5,
};

// One blocking GET that hands back the body parsed as JSON. The wait is a nested event loop
// that holds back user input, so timers and network slots of the caller still run inside it.
class CHttpRequest {
public:
    explicit CHttpRequest(const QString& url);

    // `status` is always written. `timeoutMs` is an inactivity limit: it restarts whenever data
    // arrives, so a slow but steady reply is never cut off. Redirect hops use kHopTimeoutMs.
    Json::Value get(int* status, int timeoutMs);

    static constexpr int kHopTimeoutMs = 4000;
    // A server that keeps redirecting must not keep us waiting for ever.
    static constexpr int kMaxRedirects = 5;

private:
    Json::Value fetch(int* status, int timeoutMs, int redirectsLeft);

    QString url;
};

// Watches one reply: collects its body, runs the inactivity timer and tells the outcome
// through done(), which may come more than once.
class CHttpReply : public QObject {
    Q_OBJECT

public:
    explicit CHttpReply(QNetworkReply* reply);
    ~CHttpReply() override;

    void setTimeout(int ms);
    void start();

    int status() const { return m_status; }
    QIODevice* body() const;
    QString redirectUrl() const { return m_redirectUrl; }

    // These replies are small JSON documents; anything larger is treated as a failure.
    static constexpr qint64 kMaxBodyBytes = 1 << 20;

signals:
    void done();

private slots:
    void replyfinish();
    void replyerror(QNetworkReply::NetworkError err);
    void replyreadyread();
    void replytimeout();

private:
    QNetworkReply* m_reply;
    QBuffer* m_body = nullptr;
    int m_status = ReplyPending;
    QTimer* m_timer;
    int m_timeoutMs = 3000;
    QString m_redirectUrl;
    bool m_overflow = false;
};

#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

class QTcpServer;
class QTcpSocket;

// How the service answers one path. The defaults send a 200 with an empty JSON object.
struct DevRoute {
    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body = "{}";
    QByteArray location;  // Location header, sent when not empty
    int delayMs = 0;      // pause before the status line
    int trickleMs = 0;    // when > 0 the body goes out one byte per interval
    bool hang = false;    // accept the request and never answer
    qint64 hugeBytes = 0; // when > 0 the body is this many bytes of filler instead of `body`

    static DevRoute json(const QByteArray& text) {
        DevRoute r;
        r.body = text;
        return r;
    }
    static DevRoute withStatus(int status) {
        DevRoute r;
        r.status = status;
        r.body.clear();
        return r;
    }
    static DevRoute redirect(int status, const QByteArray& location) {
        DevRoute r;
        r.status = status;
        r.location = location;
        r.body.clear();
        return r;
    }
};

struct DevRequest {
    QByteArray method;
    QString path;      // decoded path without the query
    QString query;     // raw query text, without "?"
    QByteArray target; // the request target as sent
};

// A small HTTP/1.1 server on 127.0.0.1. Each connection carries one request and is closed after
// the answer. Every request is logged before it is answered.
class DevService : public QObject {
    Q_OBJECT

public:
    explicit DevService(QObject* parent = nullptr);
    ~DevService() override;

    // Port 0 picks a free port.
    bool listen(quint16 port = 0);
    quint16 port() const;
    QString baseUrl() const;

    void setRoute(const QString& path, const DevRoute& route);
    void removeRoute(const QString& path);
    // Replaces the routes with those of a scenario: {"routes": {"/path": {...}, ...}}.
    // Each route may give "status", "json" (any JSON value, sent as its text), "body" (text),
    // "contentType", "location", "delayMs", "trickleMs", "hang", "hugeBytes".
    bool loadScenario(const QJsonObject& scenario, QString* error = nullptr);
    bool loadScenarioFile(const QString& fileName, QString* error = nullptr);

    QList<DevRequest> requests() const { return m_log; }
    int requestCount(const QString& path) const;
    void clearLog() { m_log.clear(); }
    // Connections the service has accepted and the client has not yet closed.
    int openConnections() const { return m_openConnections; }

signals:
    void requestLogged(const DevRequest& request);

private:
    void accept();
    void logRequest(const DevRequest& request);
    DevRoute routeFor(const QString& path) const;

    QTcpServer* m_server;
    QHash<QString, DevRoute> m_routes;
    QList<DevRequest> m_log;
    int m_openConnections = 0;
};

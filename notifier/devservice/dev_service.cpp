#include "dev_service.h"

#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace {

constexpr qsizetype kMaxRequestHead = 16 * 1024;
constexpr qint64 kMaxHugeBytes = 256LL * 1024 * 1024;
constexpr qint64 kChunk = 64 * 1024;

QByteArray reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

QByteArray page(const QString& title, const QString& text) {
    return QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%1</title>"
                          "</head><body><h1>%1</h1><p>%2</p></body></html>")
        .arg(title.toHtmlEscaped(), text.toHtmlEscaped())
        .toUtf8();
}

DevRoute htmlRoute(const QByteArray& html) {
    DevRoute r;
    r.contentType = "text/html; charset=utf-8";
    r.body = html;
    return r;
}

// One request on one connection; lives as long as its socket.
class Exchange : public QObject {
public:
    explicit Exchange(QTcpSocket* socket) : QObject(socket), socket(socket) {}

    void answer(const DevRoute& route) {
        if (route.hang)
            return;
        this->route = route;
        // Scenarios name the service itself as {{base}}: its port is only known once it listens.
        const QByteArray base = "http://127.0.0.1:" + QByteArray::number(socket->localPort());
        this->route.body.replace("{{base}}", base);
        this->route.location.replace("{{base}}", base);
        QTimer::singleShot(route.delayMs, this, [this] { begin(); });
    }

    QTcpSocket* socket;
    QByteArray head;
    bool served = false;

private:
    void begin() {
        const qint64 length =
            route.hugeBytes > 0 ? qMin(route.hugeBytes, kMaxHugeBytes) : qint64(route.body.size());
        QByteArray headers =
            "HTTP/1.1 " + QByteArray::number(route.status) + ' ' + reason(route.status) + "\r\n";
        headers += "Content-Type: " + route.contentType + "\r\n";
        headers += "Content-Length: " + QByteArray::number(length) + "\r\n";
        if (!route.location.isEmpty())
            headers += "Location: " + route.location + "\r\n";
        headers += "Connection: close\r\n\r\n";
        socket->write(headers);

        if (route.hugeBytes > 0) {
            remaining = length;
            connect(socket, &QTcpSocket::bytesWritten, this, [this] { pump(); });
            pump();
        } else if (route.trickleMs > 0 && !route.body.isEmpty()) {
            auto* timer = new QTimer(this);
            connect(timer, &QTimer::timeout, this, [this, timer] {
                socket->write(route.body.mid(sent, 1));
                if (++sent >= route.body.size()) {
                    timer->stop();
                    socket->disconnectFromHost();
                }
            });
            timer->start(route.trickleMs);
        } else {
            socket->write(route.body);
            socket->disconnectFromHost();
        }
    }

    // Filler goes out as the socket drains, so a huge body never sits in memory at once.
    void pump() {
        while (remaining > 0 && socket->bytesToWrite() < 4 * kChunk) {
            const qint64 n = qMin(remaining, kChunk);
            socket->write(QByteArray(n, 'x'));
            remaining -= n;
        }
        if (remaining == 0 && socket->bytesToWrite() == 0)
            socket->disconnectFromHost();
    }

    DevRoute route;
    qsizetype sent = 0;
    qint64 remaining = 0;
};

bool routeFromJson(const QJsonObject& o, DevRoute& r, QString* error) {
    r = DevRoute();
    r.status = o.value(QLatin1String("status")).toInt(200);
    if (o.contains(QLatin1String("json"))) {
        const QJsonValue v = o.value(QLatin1String("json"));
        if (v.isObject())
            r.body = QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact);
        else if (v.isArray())
            r.body = QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact);
        else // a bare value: wrap it in an array and take the brackets off again
            r.body = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
    } else if (o.contains(QLatin1String("body"))) {
        r.body = o.value(QLatin1String("body")).toString().toUtf8();
    }
    if (o.contains(QLatin1String("contentType")))
        r.contentType = o.value(QLatin1String("contentType")).toString().toUtf8();
    r.location = o.value(QLatin1String("location")).toString().toUtf8();
    r.delayMs = qMax(0, o.value(QLatin1String("delayMs")).toInt());
    r.trickleMs = qMax(0, o.value(QLatin1String("trickleMs")).toInt());
    r.hang = o.value(QLatin1String("hang")).toBool();
    r.hugeBytes = qint64(o.value(QLatin1String("hugeBytes")).toDouble());
    if (r.status < 100 || r.status > 999 || r.hugeBytes < 0 || r.hugeBytes > kMaxHugeBytes) {
        if (error)
            *error = QStringLiteral("bad status or hugeBytes");
        return false;
    }
    if (r.location.contains('\r') || r.location.contains('\n') || r.contentType.contains('\n')) {
        if (error)
            *error = QStringLiteral("line break in a header value");
        return false;
    }
    return true;
}

} // namespace

DevService::DevService(QObject* parent) : QObject(parent), m_server(new QTcpServer(this)) {
    connect(m_server, &QTcpServer::newConnection, this, &DevService::accept);
}

DevService::~DevService() {
    // Sockets close as the server goes; their handlers must not run on a half-destroyed service.
    for (QTcpSocket* socket : m_server->findChildren<QTcpSocket*>())
        socket->disconnect(this);
    delete m_server;
}

bool DevService::listen(quint16 port) {
    return m_server->listen(QHostAddress::LocalHost, port);
}

quint16 DevService::port() const {
    return m_server->serverPort();
}

QString DevService::baseUrl() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

void DevService::setRoute(const QString& path, const DevRoute& route) {
    m_routes.insert(path, route);
}

void DevService::removeRoute(const QString& path) {
    m_routes.remove(path);
}

bool DevService::loadScenario(const QJsonObject& scenario, QString* error) {
    QHash<QString, DevRoute> routes;
    const QJsonObject table = scenario.value(QLatin1String("routes")).toObject();
    for (auto it = table.begin(); it != table.end(); ++it) {
        if (!it.key().startsWith(QLatin1Char('/')) || !it.value().isObject()) {
            if (error)
                *error = QStringLiteral("route %1: expected a path and an object").arg(it.key());
            return false;
        }
        DevRoute route;
        QString why;
        if (!routeFromJson(it.value().toObject(), route, &why)) {
            if (error)
                *error = QStringLiteral("route %1: %2").arg(it.key(), why);
            return false;
        }
        routes.insert(it.key(), route);
    }
    m_routes = routes;
    return true;
}

bool DevService::loadScenarioFile(const QString& fileName, QString* error) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(fileName, file.errorString());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.read(4 * 1024 * 1024), &parseError);
    if (!doc.isObject()) {
        if (error)
            *error = QStringLiteral("%1: not a JSON object (%2)")
                         .arg(fileName, parseError.errorString());
        return false;
    }
    return loadScenario(doc.object(), error);
}

int DevService::requestCount(const QString& path) const {
    int n = 0;
    for (const DevRequest& r : m_log)
        n += r.path == path ? 1 : 0;
    return n;
}

DevRoute DevService::routeFor(const QString& path) const {
    const auto it = m_routes.constFind(path);
    if (it != m_routes.constEnd())
        return *it;
    if (path == QLatin1String("/message/getMessage"))
        return DevRoute::json(R"({"ret":0})");
    if (path == QLatin1String("/couponActivity/getTimingCoupon"))
        return DevRoute::json(R"({"code":"1"})");
    if (path == QLatin1String("/user/getTempSession"))
        return DevRoute::json(R"({"code":"0","tempSession":"dev-session"})");
    if (path == QLatin1String("/") || path == QLatin1String("/user/index") ||
        path == QLatin1String("/user/skip"))
        return htmlRoute(page(QStringLiteral("Quillon"), QStringLiteral("Home page")));
    if (path == QLatin1String("/mycenter/getCouponInfo"))
        return htmlRoute(page(QStringLiteral("My coupons"), QStringLiteral("Coupon page")));
    if (path.startsWith(QLatin1String("/content/")))
        return htmlRoute(page(QStringLiteral("Message"), QStringLiteral("消息内容 ") + path));
    DevRoute missing = htmlRoute(page(QStringLiteral("Not found"), path));
    missing.status = 404;
    return missing;
}

void DevService::accept() {
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        ++m_openConnections;
        auto* exchange = new Exchange(socket);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            --m_openConnections;
            socket->deleteLater();
        });
        connect(socket, &QTcpSocket::readyRead, exchange, [this, exchange] {
            if (exchange->served) {
                exchange->socket->readAll();
                return;
            }
            exchange->head += exchange->socket->readAll();
            const qsizetype end = exchange->head.indexOf("\r\n\r\n");
            if (end < 0) {
                if (exchange->head.size() > kMaxRequestHead) {
                    exchange->served = true;
                    exchange->answer(DevRoute::withStatus(431));
                }
                return;
            }
            exchange->served = true;
            const QList<QByteArray> line =
                exchange->head.left(exchange->head.indexOf("\r\n")).split(' ');
            DevRequest request;
            if (line.size() == 3) {
                request.method = line.at(0);
                request.target = line.at(1);
                const QUrl url = QUrl::fromEncoded(request.target);
                request.path = url.path();
                request.query = url.query(QUrl::FullyEncoded);
            }
            logRequest(request);
            exchange->answer(request.path.isEmpty() ? DevRoute::withStatus(400)
                                                    : routeFor(request.path));
        });
    }
}

void DevService::logRequest(const DevRequest& request) {
    m_log.append(request);
    emit requestLogged(request);
}

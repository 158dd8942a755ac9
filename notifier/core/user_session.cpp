#include "core/user_session.h"

#include "core/browser.h"
#include "core/endpoints.h"
#include "core/json_text.h"
#include "net/chttp_request.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

namespace {

// Unreserved characters pass unchanged, so plain identifiers keep their form.
QString encoded(const QString& value) {
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

} // namespace

UserSession& UserSession::instance() {
    static UserSession session;
    return session;
}

QString UserSession::dataFolderPath() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty())
        return {};
    return QDir::fromNativeSeparators(documents) + QStringLiteral("/Quillon");
}

void UserSession::loadFromFile() {
    const QString folder = dataFolderPath();
    if (folder.isEmpty())
        return;
    const QSettings file(folder + QStringLiteral("/usersession.ini"), QSettings::IniFormat);
    uid = file.value(QStringLiteral("/usersession/uid"), QString()).toString();
    // The reader writes the key with this spelling.
    accountName = file.value(QStringLiteral("/usersession/accoutName"), QString()).toString();
}

QString UserSession::tempSessionUrl() const {
    return tidewell::endpoints().tempSession + QStringLiteral("?userName=") + encoded(accountName) +
           QStringLiteral("&userId=") + encoded(uid);
}

QString UserSession::skipUrl(const QString& session, const QString& target) {
    return tidewell::endpoints().skip + QStringLiteral("?tempSession=") + encoded(session) +
           QStringLiteral("&skipUrl=") + target;
}

QString UserSession::requestTempSession(int* error) const {
    *error = 0;
    if (uid.isEmpty() || accountName.isEmpty())
        return {};

    int status = ReplyPending;
    const Json::Value reply = CHttpRequest(tempSessionUrl()).get(&status, kTempSessionTimeoutMs);
    if (status != ReplyOk) {
        *error = status;
        return {};
    }

    std::string code;
    std::string session;
    if (!tidewell::json::memberText(reply, "code", code) ||
        !tidewell::json::memberText(reply, "tempSession", session))
        return {};
    return tidewell::json::toQString(session);
}

void UserSession::openJumpLink(const QString& target) const {
    int error = 0;
    const QString session = requestTempSession(&error);
    if (error != 0 || session.isEmpty())
        tidewell::openInBrowser(tidewell::endpoints().base + target);
    else
        tidewell::openInBrowser(skipUrl(session, target));
}

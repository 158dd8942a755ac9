#include "test_support.h"

#include "core/msg_manager.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QSettings>

TestHome::TestHome() {
    if (!m_dir.isValid())
        qFatal("cannot create a temporary home folder");
    QDir(m_dir.path()).mkpath(QStringLiteral(".config"));
    qputenv("HOME", m_dir.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (m_dir.path() + QStringLiteral("/.config")).toLocal8Bit());
}

UrlCatcher::UrlCatcher() {
    for (const char* scheme : {"http", "https", "file", "javascript", "mailto", "ftp"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
}

UrlCatcher::~UrlCatcher() {
    for (const char* scheme : {"http", "https", "file", "javascript", "mailto", "ftp"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

namespace {

// Asking QSettings for its file name opens a settings object, which syncs every pending write
// to that file; so the name is taken once, before any manager exists.
const QString& stateFile() {
    static const QString path = MsgManager::settingsLocation();
    return path;
}

} // namespace

QVariant storedState(const QString& key) {
    QFile file(stateFile());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    bool inGroup = false;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inGroup = line == QLatin1String("[TidewellPara]");
        else if (inGroup && line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1);
    }
    return {};
}

void storeState(const QString& key, const QVariant& value) {
    QSettings file(stateFile(), QSettings::IniFormat);
    file.setValue(QStringLiteral("TidewellPara/") + key, value);
    file.sync();
}

void clearState() {
    QFile::remove(stateFile());
}

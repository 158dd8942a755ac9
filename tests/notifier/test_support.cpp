#include "test_support.h"

#include <QDesktopServices>
#include <QDir>

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

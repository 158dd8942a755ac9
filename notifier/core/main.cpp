#include "core/instance_guard.h"
#include "core/msg_manager.h"
#include "core/user_session.h"
#include "popups/scaling.h"

#include <QApplication>
#include <QThread>
#include <QTranslator>

// One run is one check: at most one popup, and the program ends when it closes.
int main(int argc, char** argv) {
    InstanceGuard guard;
    if (!guard.acquire())
        return 0;

    tidewell::leaveScalingToPopups();
    QApplication app(argc, argv);

    QTranslator qtTranslator;
    (void)qtTranslator.load(QCoreApplication::applicationDirPath() +
                            QStringLiteral("/qt_zh_CN.qm"));
    QCoreApplication::installTranslator(&qtTranslator);
    // Installed last, searched first.
    QTranslator programTranslator;
    (void)programTranslator.load(QStringLiteral(":Tidewell/tidewell_zh.qm"));
    QCoreApplication::installTranslator(&programTranslator);

    // The reader may still be writing its session file when we are started.
    QThread::msleep(2000);
    UserSession::instance().loadFromFile();

    MsgManager manager;
    if (!manager.start())
        return 0;
    return QApplication::exec();
}

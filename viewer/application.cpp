#include "application.h"

#include <QMessageBox>
#include <QTimer>

#include <deque>

namespace {
// Reports waiting for a notify() to pick them up. A queue, because a nested
// handler may fail while an outer report is still on screen.
std::deque<QString>& parked() {
    static std::deque<QString> queue;
    return queue;
}
} // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    bool result = false;
    try {
        result = QApplication::notify(receiver, event);
    } catch (...) {
        parked().push_back(messageOf(std::current_exception()));
    }
    reportParked();
    return result;
}

void TApplication::parkException(std::exception_ptr error) {
    parked().push_back(messageOf(error));
    // Failures outside any event (e.g. during start-up) are reported as soon
    // as the event loop runs.
    if (auto* app = qobject_cast<TApplication*>(QCoreApplication::instance()))
        QTimer::singleShot(0, app, [app] { app->reportParked(); });
}

QString TApplication::messageOf(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

void TApplication::reportParked() {
    while (!parked().empty()) {
        const QString message = parked().front();
        parked().pop_front();
        report(message);
    }
}

void TApplication::report(const QString& message) {
    if (m_reporter) {
        m_reporter(message);
        return;
    }
    QMessageBox::critical(activeWindow(), applicationDisplayName(), message);
}

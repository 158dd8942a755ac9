#include "application.h"

#include <QTest>
#include <QTimer>

#include <stdexcept>

namespace {
class Thrower : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User)
            throw std::runtime_error("user event failed");
        if (e->type() == QEvent::User + 1)
            throw 42;
        return QObject::event(e);
    }
};
} // namespace

class TestApplication : public QObject {
    Q_OBJECT

    QStringList m_reports;

private slots:
    void init() {
        m_reports.clear();
        static_cast<TApplication*>(qApp)->setErrorReporter(
            [this](const QString& m) { m_reports << m; });
    }
    void cleanup() { static_cast<TApplication*>(qApp)->setErrorReporter({}); }

    void exceptionThroughAnEventIsReportedOnce() {
        Thrower thrower;
        QEvent event(QEvent::User);
        QCoreApplication::sendEvent(&thrower, &event);
        QCOMPARE(m_reports, QStringList({"user event failed"}));
        QEvent unknown(QEvent::Type(QEvent::User + 1));
        QCoreApplication::sendEvent(&thrower, &unknown);
        QCOMPARE(m_reports, QStringList({"user event failed", "Unknown error"}));
        QTest::qWait(10);
        QCOMPARE(m_reports.size(), 2);
    }

    void guardedHandlerFromASignalReachesTheReport() {
        QTimer timer;
        timer.setSingleShot(true);
        int ran = 0;
        connect(&timer, &QTimer::timeout, this, guarded([&] {
            ++ran;
            throw std::runtime_error("slot failed");
        }));
        timer.start(0);
        QTRY_COMPARE(m_reports, QStringList({"slot failed"}));
        // The program goes on: the next run works the same way.
        timer.start(0);
        QTRY_COMPARE(ran, 2);
        QCOMPARE(m_reports.size(), 2);
    }

    void failureOutsideAnyEventIsReportedWhenTheLoopRuns() {
        guarded([] { throw std::runtime_error("start-up failed"); })();
        QTRY_COMPARE(m_reports, QStringList({"start-up failed"}));
    }

    void guardedPassesArgumentsThrough() {
        int sum = 0;
        auto add = guarded([&](int a, int b) { sum = a + b; });
        add(2, 3);
        QCOMPARE(sum, 5);
        QVERIFY(m_reports.isEmpty());
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_application.moc"

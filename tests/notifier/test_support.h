#pragma once

#include <QApplication>
#include <QList>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

// Points HOME and XDG_CONFIG_HOME at a fresh temporary folder for the whole test process, so
// settings files and the Documents folder are the test's own. Must exist before any QSettings.
class TestHome {
public:
    TestHome();
    QString path() const { return m_dir.path(); }
    QString documents() const { return m_dir.path() + QStringLiteral("/Documents"); }

private:
    QTemporaryDir m_dir;
};

// Catches what would go to the desktop's browser.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    UrlCatcher();
    ~UrlCatcher() override;
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.append(url); }
};

#define TIDEWELL_TEST_MAIN(TestClass)                                                              \
    int main(int argc, char** argv) {                                                              \
        TestHome home;                                                                             \
        QApplication app(argc, argv);                                                              \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }

// A value of the notifier's state as it stands in the file right now, read from the file's
// text so that writes which were never synced do not show. Invalid when absent.
QVariant storedState(const QString& key);
// Writes one state value straight into the file.
void storeState(const QString& key, const QVariant& value);
// Removes the state file.
void clearState();

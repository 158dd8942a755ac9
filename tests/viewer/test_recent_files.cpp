#include "viewer_test.h"

#include <QFile>
#include <QMenu>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>

using Content = FakeDrawingView::Content;

class TestRecentFiles : public QObject {
    Q_OBJECT

    QTemporaryDir files;

    QString makeFile(const QString& name) {
        const QString path = files.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    static void load(ViewerFixture& f, const QString& path) {
        f.control->nextContent = Content::Drawing;
        f.control->LoadFile(path);
    }

    // The File menu's list as a user sees it when the menu opens.
    static QStringList shown(TfmMain& w) {
        emit w.mmiFile->aboutToShow();
        QStringList names;
        for (QAction* item : w.mmiRecent->actions())
            names << item->text();
        return names;
    }

    static QAction* item(TfmMain& w, int index) {
        emit w.mmiFile->aboutToShow();
        return w.mmiRecent->actions().value(index);
    }

private slots:
    void initTestCase() { QVERIFY(files.isValid()); }
    void init() { QSettings(QStringLiteral("Tavorin"), QStringLiteral("Vistrel")).clear(); }

    void lastEightNewestFirstKeptBetweenRuns() {
        {
            ViewerFixture f;
            QVERIFY(!f.window->mmiRecent->isEnabled() || shown(*f.window).isEmpty());
            for (int i = 1; i <= 10; ++i)
                load(f, makeFile(QStringLiteral("plan%1.dxf").arg(i)));
            // Opened again: moves to the top, not listed twice.
            load(f, files.filePath(QStringLiteral("plan5.dxf")));
            QCOMPARE(shown(*f.window),
                     QStringList({"&1 plan5.dxf", "&2 plan10.dxf", "&3 plan9.dxf", "&4 plan8.dxf",
                                  "&5 plan7.dxf", "&6 plan6.dxf", "&7 plan4.dxf", "&8 plan3.dxf"}));
            QVERIFY(f.window->mmiRecent->isEnabled());
        }
        ViewerFixture next;
        QCOMPARE(shown(*next.window).size(), 8);
        QCOMPARE(shown(*next.window).first(), QStringLiteral("&1 plan5.dxf"));
    }

    void pickingAnEntryOpensItsFile() {
        ViewerFixture f;
        const QString path = makeFile(QStringLiteral("site.dxf"));
        load(f, path);
        f.control->log.clear();
        item(*f.window, 0)->trigger();
        QCOMPARE(f.control->callsNamed("LoadFile"),
                 QStringList({QStringLiteral("LoadFile(%1)").arg(path)}));
    }

    void aFileThatHasGoneIsRemovedWithAMessage() {
        ViewerFixture f;
        const QString kept = makeFile(QStringLiteral("kept.dxf"));
        const QString gone = makeFile(QStringLiteral("gone.dxf"));
        load(f, kept);
        load(f, gone);
        QVERIFY(QFile::remove(gone));
        f.control->log.clear();
        item(*f.window, 0)->trigger();
        QVERIFY(f.control->callsNamed("LoadFile").isEmpty());
        QVERIFY(f.window->sbStatus->currentMessage().contains(QStringLiteral("gone.dxf")));
        QCOMPARE(shown(*f.window), QStringList({"&1 kept.dxf"}));
        QVERIFY(f.errors.isEmpty());
    }

    // Only loads that the control took are remembered.
    void aFailedLoadIsNotListed() {
        ViewerFixture f;
        f.control->failing.insert(QStringLiteral("LoadFile"));
        try {
            f.window->openFile(makeFile(QStringLiteral("broken.dxf")));
            QFAIL("the load should have failed");
        } catch (const std::exception&) {
        }
        QVERIFY(shown(*f.window).isEmpty());
    }
};

VIEWER_TEST_MAIN(TestRecentFiles)
#include "test_recent_files.moc"

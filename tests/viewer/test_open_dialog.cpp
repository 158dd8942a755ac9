#include "application.h"
#include "file_filter.h"
#include "main_window.h"
#include "open_dialog.h"

#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>

// The open dialog as the user sees it: which files it lists under a filter.
class TestOpenDialog : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_filters;

    QStringList listed(int filterIndex) {
        auto dialog = makeOpenDialog(nullptr, m_filters, filterIndex);
        dialog->setDirectory(m_dir.path());
        dialog->show();
        auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
        auto* model = dialog->findChild<QFileSystemModel*>();
        if (!view || !model)
            return {QStringLiteral("<no view>")};
        const QModelIndex root = model->index(m_dir.path());
        QStringList names;
        // The model fills in the background.
        if (!QTest::qWaitFor([&] { return model->rowCount(root) > 0; }, 5000))
            return {QStringLiteral("<empty>")};
        QTest::qWait(200);
        for (int row = 0; row < model->rowCount(root); ++row) {
            const QModelIndex index = model->index(row, 0, root);
            // Filtered-out files stay in the model but are disabled (or hidden).
            if (dialog->proxyModel() == nullptr && !(model->flags(index) & Qt::ItemIsEnabled))
                continue;
            if (view->isRowHidden(row))
                continue;
            names << model->fileName(index);
        }
        names.sort();
        return names;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        for (const char* name : {"PLAN.DXF", "plan2.dxf", "Photo.PNG", "README", "notes.txt"}) {
            QFile file(m_dir.filePath(QString::fromLatin1(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        m_filters = toQtNameFilters(TfmMain::openDialogFilter());
    }

    void allFilesListsEveryFile() {
        QCOMPARE(listed(1),
                 QStringList({"PLAN.DXF", "Photo.PNG", "README", "notes.txt", "plan2.dxf"}));
    }

    void typeFiltersIgnoreCase() {
        QCOMPARE(listed(2), QStringList({"PLAN.DXF", "plan2.dxf"}));
        QCOMPARE(listed(3), QStringList({"Photo.PNG"}));
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestOpenDialog test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_open_dialog.moc"

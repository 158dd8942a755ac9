#include "viewer_test.h"

#include "layers_dialog.h"

#include <QListWidget>
#include <QPushButton>

using namespace DrawingViewLib;

class TestLayersDialog : public QObject {
    Q_OBJECT

    struct Layers {
        ViewerFixture f;
        std::vector<std::shared_ptr<FakeLayer>>& layers;

        explicit Layers(std::vector<std::pair<QString, WordBool>> entries)
            : layers(ensureImage(f)->converter->layers) {
            for (const auto& [name, visible] : entries)
                layers.push_back(std::make_shared<FakeLayer>(name, visible, 0x00FF0000));
            f.loadDrawing();
            f.control->log.clear();
        }
        static FakeDXFImage* ensureImage(ViewerFixture& f) { return f.control->image.get(); }

        // Opens the dialog from the main window and runs `steps` in it.
        void open(std::function<void(TfmLayers&)> steps) {
            setLayersDialogShownHook(std::move(steps));
            f.window->btnLayersClick();
            setLayersDialogShownHook({});
        }
        std::vector<WordBool> visibility() const {
            std::vector<WordBool> result;
            for (const auto& layer : layers)
                result.push_back(layer->visible);
            return result;
        }
        int refreshes() const { return int(f.control->callsNamed("RefreshView").size()); }
    };

    static QStringList texts(const QListWidget* list) {
        QStringList result;
        for (int i = 0; i < list->count(); ++i)
            result << list->item(i)->text();
        return result;
    }
    static void toggle(TfmLayers& form, int row) {
        auto* item = form.clbLayers->item(row);
        item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }

private slots:
    void init() { resetLayersDialogBounds(); }

    void listsEveryLayerWithItsVisibility() {
        // 1 is not the automation true, but any non-zero value is visible.
        Layers t({{"0", WordTrue}, {"Walls", 0}, {"Doors", 1}});
        QStringList names;
        QList<bool> checks;
        int current = -2;
        QString cancelText;
        t.open([&](TfmLayers& form) {
            names = texts(form.clbLayers);
            for (int i = 0; i < form.clbLayers->count(); ++i)
                checks << (form.clbLayers->item(i)->checkState() == Qt::Checked);
            current = form.clbLayers->currentRow();
            cancelText = form.btnCancel->text();
            QCOMPARE(form.btnSwitch->text(), QStringLiteral("Unselect ALL"));
            QCOMPARE(form.windowTitle(), QStringLiteral("Layers"));
            form.btnOK->click();
        });
        QCOMPARE(names, QStringList({"0", "Walls", "Doors"}));
        QCOMPARE(checks, QList<bool>({true, false, true}));
        QCOMPARE(current, 0);
        QCOMPARE(cancelText, QStringLiteral("Cancel"));
        // Opening and OK without a toggle writes nothing; the window refreshes once.
        for (const auto& layer : t.layers)
            QCOMPARE(layer->writes, 0);
        QCOMPARE(t.refreshes(), 1);
    }

    void eachToggleWritesOnlyTheChangedLayerAndRefreshesOnce() {
        Layers t({{"A", WordTrue}, {"B", WordTrue}, {"C", 1}});
        std::vector<WordBool> during;
        int refreshesDuring = -1;
        t.open([&](TfmLayers& form) {
            toggle(form, 1);
            during = t.visibility();
            refreshesDuring = t.refreshes();
            form.btnOK->click();
        });
        QCOMPARE(during, std::vector<WordBool>({WordTrue, WordFalse, 1}));
        QCOMPARE(refreshesDuring, 1);
        QCOMPARE(t.layers[0]->writes, 0);
        QCOMPARE(t.layers[1]->writes, 1);
        QCOMPARE(t.layers[2]->writes, 0);
        // OK keeps the change; the window's own refresh follows.
        QCOMPARE(t.visibility(), std::vector<WordBool>({WordTrue, WordFalse, 1}));
        QCOMPARE(t.refreshes(), 2);
    }

    void cancelAfterTogglesAndSwitchRestoresTheSnapshot() {
        Layers t({{"A", WordTrue}, {"B", 0}, {"C", 1}});
        t.open([&](TfmLayers& form) {
            toggle(form, 0);
            toggle(form, 1);
            form.btnSwitch->click();
            QCOMPARE(t.visibility(), std::vector<WordBool>({0, 0, 0}));
            form.btnCancel->click();
        });
        // Restored values are written as automation booleans.
        QCOMPARE(t.visibility(), std::vector<WordBool>({WordTrue, WordFalse, WordTrue}));
    }

    void escAndTheCloseBoxCancelEnterInTheListKeeps() {
        Layers t({{"A", WordTrue}, {"B", WordTrue}});
        t.open([&](TfmLayers& form) {
            toggle(form, 0);
            QTest::keyClick(form.btnSwitch, Qt::Key_Escape);
        });
        QCOMPARE(t.visibility(), std::vector<WordBool>({WordTrue, WordTrue}));

        t.open([&](TfmLayers& form) {
            toggle(form, 1);
            form.close();
        });
        QCOMPARE(t.visibility(), std::vector<WordBool>({WordTrue, WordTrue}));

        t.open([&](TfmLayers& form) {
            toggle(form, 1);
            form.clbLayers->setFocus();
            QTest::keyClick(form.clbLayers, Qt::Key_Return);
        });
        QCOMPARE(t.visibility(), std::vector<WordBool>({WordTrue, WordFalse}));
    }

    void spaceInTheListTogglesTheCurrentLayer() {
        Layers t({{"A", WordTrue}, {"B", WordTrue}});
        t.open([&](TfmLayers& form) {
            form.clbLayers->setFocus();
            QTest::keyClick(form.clbLayers, Qt::Key_Space);
            form.btnOK->click();
        });
        QCOMPARE(t.visibility(), std::vector<WordBool>({WordFalse, WordTrue}));
    }

    void firstSwitchClickHidesEverythingEvenWhenAllAreHidden() {
        Layers t({{"A", 0}, {"B", 0}});
        QString afterFirst, afterSecond;
        std::vector<WordBool> hidden, shown;
        int refreshesPerClick = -1;
        t.open([&](TfmLayers& form) {
            form.btnSwitch->click();
            afterFirst = form.btnSwitch->text();
            hidden = t.visibility();
            refreshesPerClick = t.refreshes();
            form.btnSwitch->click();
            afterSecond = form.btnSwitch->text();
            shown = t.visibility();
            QCOMPARE(form.clbLayers->item(0)->checkState(), Qt::Checked);
            form.btnOK->click();
        });
        QCOMPARE(afterFirst, QStringLiteral("Select ALL"));
        QCOMPARE(hidden, std::vector<WordBool>({WordFalse, WordFalse}));
        QCOMPARE(t.layers[0]->writes, 2); // once per click
        QCOMPARE(refreshesPerClick, 1);
        QCOMPARE(afterSecond, QStringLiteral("Unselect ALL"));
        QCOMPARE(shown, std::vector<WordBool>({WordTrue, WordTrue}));

        // Every opening starts with "Unselect ALL", whatever the layers show.
        QString caption;
        t.open([&](TfmLayers& form) {
            caption = form.btnSwitch->text();
            form.btnOK->click();
        });
        QCOMPARE(caption, QStringLiteral("Unselect ALL"));
    }

    void aDrawingWithoutLayersOpensAnEmptyList() {
        Layers t({});
        int count = -1, current = -2;
        t.open([&](TfmLayers& form) {
            count = form.clbLayers->count();
            current = form.clbLayers->currentRow();
            form.btnSwitch->click(); // nothing to switch, still one refresh
            form.btnCancel->click();
        });
        QCOMPARE(count, 0);
        QCOMPARE(current, -1);
        QCOMPARE(t.refreshes(), 2);
        QVERIFY(t.f.errors.isEmpty());
    }

    void aNilDrawingOpensNothing() {
        ViewerFixture f;
        bool shown = false;
        setLayersDialogShownHook([&](TfmLayers& form) {
            shown = true;
            form.reject();
        });
        QVERIFY(!ShowLayersDialog(nullptr, f.control));
        setLayersDialogShownHook({});
        QVERIFY(!shown);
        // Nothing loaded: the command does nothing, not even a refresh.
        f.window->btnLayersClick();
        QVERIFY(f.control->callsNamed("RefreshView").isEmpty());
    }

    void theResultTellsOkFromCancel() {
        Layers t({{"A", WordTrue}});
        setLayersDialogShownHook([](TfmLayers& form) { form.btnOK->click(); });
        QVERIFY(ShowLayersDialog(t.f.control->image, t.f.control));
        setLayersDialogShownHook([](TfmLayers& form) { form.btnCancel->click(); });
        QVERIFY(!ShowLayersDialog(t.f.control->image, t.f.control));
        setLayersDialogShownHook({});
    }

    void boundsAreCentredFirstThenRemembered() {
        Layers t({{"A", WordTrue}});
        QRect first;
        t.open([&](TfmLayers& form) {
            first = form.geometry();
            QVERIFY(form.minimumWidth() == 300 && form.minimumHeight() == 200);
            QCOMPARE(form.size(), QSize(361, 458));
            form.setGeometry(QRect(first.topLeft() + QPoint(37, 23), QSize(400, 300)));
            form.btnCancel->click();
        });
        const QPoint mainCentre = t.f.window->geometry().center();
        QVERIFY(qAbs(first.center().x() - mainCentre.x()) <= 1);
        QVERIFY(qAbs(first.center().y() - mainCentre.y()) <= 1);
        const QRect kept = layersDialogBounds();
        QCOMPARE(kept.size(), QSize(400, 300));

        QRect second;
        QRect okButton, list;
        t.open([&](TfmLayers& form) {
            second = form.geometry();
            okButton = form.btnOK->geometry();
            list = form.clbLayers->geometry();
            form.btnOK->click();
        });
        QCOMPARE(second, kept);
        // Anchors: OK keeps its distance to the right and bottom edges, the list grows.
        QCOMPARE(okButton.right(), 400 - 188 + 79);
        QCOMPARE(okButton.top(), 300 - 35);
        QCOMPARE(list.width(), 400 - 19);
    }

    void aDrawingWithoutConverterListsNothing() {
        Layers t({{"A", WordTrue}});
        t.f.control->image->withConverter = false; // the dialog finds no converter
        bool shown = false;
        t.open([&](TfmLayers& form) {
            shown = true;
            QCOMPARE(form.clbLayers->count(), 0);
            form.btnOK->click();
        });
        QVERIFY(shown);
        QVERIFY(t.f.errors.isEmpty());
    }

    void entriesShowTheSwatchInTheLayersColour() {
        Layers t({{"Blue layer", WordTrue}});
        QImage shot;
        QRect row;
        t.open([&](TfmLayers& form) {
            form.clbLayers->setCurrentRow(-1);
            form.clbLayers->clearSelection();
            row = form.clbLayers->visualItemRect(form.clbLayers->item(0));
            shot = form.clbLayers->viewport()->grab().toImage();
            form.btnOK->click();
        });
        // 0x00FF0000 is blue as a Windows colour value; the swatch starts 16 px in.
        const QColor swatch = shot.pixelColor(row.left() + 16 + 8, row.center().y());
        QCOMPARE(swatch, QColor(0, 0, 255));
    }
};

VIEWER_TEST_MAIN(TestLayersDialog)
#include "test_layers_dialog.moc"

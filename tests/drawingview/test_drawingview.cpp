#include "DrawingObjects.h"
#include "DrawingView.h"

#include <QApplication>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <numbers>

using namespace dv;
using namespace DrawingViewLib;

namespace {

// A plain DXF with `count` lines, big enough for the reader to report
// progress along the way.
QByteArray dxfWithLines(int count) {
    QByteArray out = "0\nSECTION\n2\nENTITIES\n";
    for (int i = 0; i < count; ++i)
        out += QByteArray("0\nLINE\n8\n0\n62\n1\n10\n") + QByteArray::number(i % 1000) + "\n20\n" +
               QByteArray::number(i / 1000) + "\n11\n" + QByteArray::number(i % 1000 + 5) +
               "\n21\n" + QByteArray::number(i / 1000 + 3) + "\n";
    out += "0\nENDSEC\n0\nEOF\n";
    return out;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Model space and a paper layout, each with one line.
std::unique_ptr<Document> twoLayouts() {
    auto doc = std::make_unique<Document>();
    doc->format = "TEST";
    doc->fileName = "/tmp/two.dxf";
    doc->layerIndex("0");
    const int walls = doc->layerIndex("Walls");
    doc->layers[walls].color = Color::fromRgb(0xFF0000);
    for (int i = 0; i < 2; ++i) {
        Block b;
        b.name = i == 0 ? "*Model_Space" : "*Paper_Space";
        b.addPolyline({{0, 0}, {i == 0 ? 200.0 : 40.0, 100}}, false).layer = walls;
        doc->blocks.push_back(b);
        Layout l;
        l.name = i == 0 ? "Model" : "Sheet 1";
        l.block = i;
        l.paperSpace = i == 1;
        l.tabOrder = i;
        doc->layouts.push_back(l);
    }
    doc->finish();
    return doc;
}

void sendWheel(QWidget* w, QPoint at, int delta) {
    QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

bool near(DrawingPoint a, DrawingPoint b, double tol = 1e-6) {
    return std::abs(a.X - b.X) < tol && std::abs(a.Y - b.Y) < tol;
}

} // namespace

class TestDrawingView : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString& name) { return m_dir.filePath(name); }

    std::unique_ptr<DrawingView> shownView() {
        auto v = std::make_unique<DrawingView>();
        v->setToolBarVisible(false);
        v->setLayoutsBarVisible(false);
        v->resize(400, 300);
        v->show();
        if (!QTest::qWaitForWindowExposed(v.get()))
            return nullptr;
        return v;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        writeFile(path("lines.dxf"), dxfWithLines(20000));
        writeFile(path("broken.dxf"), "0\nSECTION\n2\nENTITIES\n0\nLINE\n10\n");
        QImage png(40, 30, QImage::Format_RGB32);
        png.fill(Qt::blue);
        QVERIFY(png.save(path("picture.png")));
    }

    void loadRaisesItsEventsInOrder() {
        DrawingView view;
        QStringList events;
        std::vector<int> percents;
        view.OnBeforeLoad.connect([&] { events << "before"; });
        view.OnProgress.connect([&](int, uint8_t percent, bool, QString) {
            events << "progress";
            percents.push_back(percent);
        });
        view.OnAfterLoad.connect([&] {
            events << "after";
            QVERIFY(view.IsDrawing()); // the new document is in when the host hears of it
        });
        view.LoadFile(path("lines.dxf"));
        QCOMPARE(events.first(), QString("before"));
        QCOMPARE(events.last(), QString("after"));
        QCOMPARE(events.count("before"), 1);
        QCOMPARE(events.count("after"), 1);
        QVERIFY(percents.size() >= 3);
        QVERIFY(std::is_sorted(percents.begin(), percents.end(), std::less_equal<int>()) &&
                std::adjacent_find(percents.begin(), percents.end()) == percents.end());
        QCOMPARE(percents.back(), 100);
        QCOMPARE(view.FileName(), path("lines.dxf"));
        QVERIFY(!view.IsEmpty());
        QVERIFY(view.DXFImage());
        QVERIFY(std::abs(view.DXFImage()->DrawingWidth() - 1004) < 1e-9);
    }

    void failedLoadKeepsWhatIsShown() {
        DrawingView view;
        int afterLoads = 0;
        view.OnAfterLoad.connect([&] { ++afterLoads; });

        // From empty: stays empty.
        try {
            view.LoadFile(path("missing.dxf"));
            QFAIL("a missing file must throw");
        } catch (const DrawingViewError& e) {
            QVERIFY(QString(e.what()).contains("missing.dxf"));
        }
        QCOMPARE(afterLoads, 1);
        QVERIFY(view.IsEmpty());
        QVERIFY(!view.IsDrawing());
        QVERIFY(!view.DXFImage());

        view.LoadFile(path("lines.dxf"));
        const auto image = view.DXFImage();
        for (const QString& bad : {path("broken.dxf"), path("picture.xyz")}) {
            if (bad.endsWith(".xyz"))
                writeFile(bad, "nothing anyone reads");
            try {
                view.LoadFile(bad);
                QFAIL("a broken file must throw");
            } catch (const DrawingViewError& e) {
                QVERIFY2(QString(e.what()).contains(QFileInfo(bad).fileName()), e.what());
            }
            QVERIFY(view.IsDrawing());
            QCOMPARE(view.FileName(), path("lines.dxf"));
            QCOMPARE(view.DXFImage(), image);
        }
        QCOMPARE(afterLoads, 4);
    }

    void loadFromInsideALoadIsRefused() {
        DrawingView view;
        bool tried = false;
        view.OnProgress.connect([&](int, uint8_t percent, bool, QString) {
            if (percent > 0 && !tried) {
                tried = true;
                view.LoadFile(path("picture.png")); // throws: one load at a time
            }
        });
        QVERIFY_THROWS_EXCEPTION(DrawingViewError, view.LoadFile(path("lines.dxf")));
        QVERIFY(tried);
        QVERIFY(view.IsDrawing()); // the first load still finished
        QCOMPARE(view.FileName(), path("lines.dxf"));
        view.LoadFile(path("picture.png")); // and the control is not left busy
        QVERIFY(!view.IsDrawing());
    }

    void rasterState() {
        DrawingView view;
        view.LoadFile(path("picture.png"));
        QVERIFY(!view.IsEmpty());
        QVERIFY(!view.IsDrawing());
        QVERIFY(!view.DXFImage());
        QCOMPARE(view.RasterWidth(), 40);
        QCOMPARE(view.RasterHeight(), 30);
        view.setIsWithoutBorder(true);
        view.ExecuteCommand(CmdFit);
        const TRect r = view.GetImageRect();
        const QRect area = view.drawingArea();
        // Fitted without border, the image touches two opposite edges.
        QVERIFY((r.Left == area.left() && r.Right == area.right() + 1) ||
                (r.Top == area.top() && r.Bottom == area.bottom() + 1));
        QVERIFY(std::abs((r.Right - r.Left) * 30.0 - (r.Bottom - r.Top) * 40.0) <= 80);
        view.CloseFile();
        QVERIFY(view.IsEmpty());
        QCOMPARE(view.RasterWidth(), 0);
        QCOMPARE(view.FileName(), QString());
    }

    void drawingObjectsKeepTheDocument() {
        DrawingView view;
        view.setDocument(twoLayouts());
        auto image = view.DXFImage();
        QVERIFY(image);
        auto conv = image->Converter();
        QCOMPARE(conv->Count(CountLayers), 2);
        QCOMPARE(conv->Count(CountLayouts), 2);
        QVERIFY(!conv->Layouts(2));
        QVERIFY(!conv->Layouts(-1));
        QVERIFY(!conv->Layers(2));
        auto walls = conv->Layers(1);
        QCOMPARE(walls->Name(), QString("Walls"));
        QCOMPARE(walls->LayerColor(), 0x0000FFu); // red as 0x00BBGGRR
        QCOMPARE(walls->Visible(), WordTrue);
        walls->setVisible(5); // any non-zero is true
        QCOMPARE(walls->Visible(), WordTrue);
        walls->setVisible(WordFalse);
        QCOMPARE(conv->Layers(1)->Visible(), WordFalse);

        view.CloseFile();
        QVERIFY(!view.DXFImage());
        // The host's objects still work on the closed drawing.
        QCOMPARE(conv->Layers(1)->Name(), QString("Walls"));
        QCOMPARE(image->LayoutsCount(), 2);
    }

    void layoutSwitchRefitsAndNotifies() {
        auto v = shownView();
        QVERIFY(v);
        v->setDocument(twoLayouts());
        auto image = v->DXFImage();
        int controlEvents = 0, imageEvents = 0;
        v->OnLayoutChange.connect([&] { ++controlEvents; });
        image->OnLayoutChange.connect([&] { ++imageEvents; });
        QCOMPARE(image->CurrentLayout()->Name(), QString("Model"));
        QCOMPARE(image->DrawingWidth(), 200.0);

        image->setCurrentLayout(image->Converter()->Layouts(1));
        QCOMPARE(v->currentLayout(), 1);
        QCOMPARE(image->CurrentLayout()->Name(), QString("Sheet 1"));
        QCOMPARE(image->Converter()->ActiveLayoutIndex(), 1);
        QCOMPARE(image->DrawingWidth(), 40.0);
        QCOMPARE(controlEvents, 1);
        QCOMPARE(imageEvents, 1);
        // Fitted: the sheet's centre is in the middle of the control.
        const DrawingPoint mid = v->ScreenToDrawing(200, 150);
        QVERIFY(std::abs(mid.X - 20) < 0.5 && std::abs(mid.Y - 50) < 0.5);

        // The same layout again, nullptr, or a layout of another drawing: nothing.
        image->setCurrentLayout(image->Converter()->Layouts(1));
        image->setCurrentLayout(nullptr);
        DrawingView other;
        other.setDocument(twoLayouts());
        image->setCurrentLayout(other.DXFImage()->Converter()->Layouts(0));
        QCOMPARE(v->currentLayout(), 1);
        QCOMPARE(controlEvents, 1);
    }

    void wheelZoomsAboutTheCursor() {
        auto v = shownView();
        QVERIFY(v);
        v->setDocument(twoLayouts());
        const QPoint at(123, 77);
        const double before = v->viewTransform().zoom();
        const DrawingPoint under = v->ScreenToDrawing(at.x(), at.y());

        sendWheel(v.get(), at, 120); // navigation off: ignored
        QCOMPARE(v->viewTransform().zoom(), before);

        v->setMouseNavigation(true);
        sendWheel(v.get(), at, 120);
        QVERIFY(v->viewTransform().zoom() > before);
        QVERIFY(near(v->ScreenToDrawing(at.x(), at.y()), under));
        sendWheel(v.get(), at, -240);
        QVERIFY(v->viewTransform().zoom() < before);
        QVERIFY(near(v->ScreenToDrawing(at.x(), at.y()), under));

        v->PreviousScale();
        v->PreviousScale();
        QCOMPARE(v->viewTransform().zoom(), before);
    }

    void rightDragPans() {
        auto v = shownView();
        QVERIFY(v);
        v->setDocument(twoLayouts());
        v->setMouseNavigation(true);
        const DrawingPoint grabbed = v->ScreenToDrawing(100, 100);
        QTest::mousePress(v.get(), Qt::RightButton, {}, QPoint(100, 100));
        QTest::mouseMove(v.get(), QPoint(130, 110));
        QTest::mouseMove(v.get(), QPoint(150, 120));
        QTest::mouseRelease(v.get(), Qt::RightButton, {}, QPoint(150, 120));
        QVERIFY(near(v->ScreenToDrawing(150, 120), grabbed));
        // One drag, one step back.
        v->PreviousScale();
        QVERIFY(near(v->ScreenToDrawing(100, 100), grabbed));

        v->setMouseNavigation(false);
        QTest::mousePress(v.get(), Qt::RightButton, {}, QPoint(100, 100));
        QTest::mouseMove(v.get(), QPoint(150, 120));
        QTest::mouseRelease(v.get(), Qt::RightButton, {}, QPoint(150, 120));
        QVERIFY(near(v->ScreenToDrawing(100, 100), grabbed));
    }

    void leftDragStartsAHostDrag() {
        auto v = shownView();
        QVERIFY(v);
        int starts = 0, ends = 0, moves = 0;
        v->OnStartDrag.connect([&] { ++starts; });
        v->OnEndDrag.connect([&] { ++ends; });
        v->OnMouseMove.connect([&](int, int x, int y) {
            ++moves;
            QVERIFY(x >= 0 && y >= 0);
        });
        QTest::mouseMove(v.get(), QPoint(50, 50));
        QVERIFY(moves >= 1);
        QTest::mousePress(v.get(), Qt::LeftButton, {}, QPoint(50, 50));
        QTest::mouseMove(v.get(), QPoint(51, 50)); // within the start distance
        QCOMPARE(starts, 0);
        v->setAutoDrag(true);
        QTest::mouseRelease(v.get(), Qt::LeftButton, {}, QPoint(51, 50));
        QTest::mousePress(v.get(), Qt::LeftButton, {}, QPoint(50, 50));
        const int far = QApplication::startDragDistance() + 5;
        QTest::mouseMove(v.get(), QPoint(50 + far, 50));
        QTest::mouseMove(v.get(), QPoint(60 + far, 50));
        QCOMPARE(starts, 1);
        QCOMPARE(ends, 0);
        QTest::mouseRelease(v.get(), Qt::LeftButton, {}, QPoint(60 + far, 50));
        QCOMPARE(ends, 1);
    }

    void commandsObeyTheirState() {
        auto v = shownView();
        QVERIFY(v);
        v->setDocument(twoLayouts());
        const double fitted = v->viewTransform().zoom();
        v->ExecuteCommand(CmdZoomIn);
        QCOMPARE(v->viewTransform().zoom(), fitted * 2);
        v->SetCommandState(CmdZoomIn, false);
        v->ExecuteCommand(CmdZoomIn);
        QCOMPARE(v->viewTransform().zoom(), fitted * 2);
        v->ExecuteCommand(9999);
        v->ExecuteCommand(-1);
        QCOMPARE(v->viewTransform().zoom(), fitted * 2);
        v->ExecuteCommand(CmdFit);
        QCOMPARE(v->viewTransform().zoom(), fitted);
        v->ZoomAt(true, 1.0, 10, 10);
        QCOMPARE(v->viewTransform().zoom(), 1.0);
        v->ZoomAt(false, 3.0, 10, 10);
        QCOMPARE(v->viewTransform().zoom(), 3.0);
        QVERIFY_THROWS_EXCEPTION(DrawingViewError, v->ZoomAt(false, 0.0, 10, 10));
        QVERIFY_THROWS_EXCEPTION(DrawingViewError,
                                 v->ZoomAt(true, std::numeric_limits<double>::quiet_NaN(), 1, 1));
        QCOMPARE(v->viewTransform().zoom(), 3.0);
        v->PreviousScale(); // back to 1:1
        v->PreviousScale(); // back to the fit
        QCOMPARE(v->viewTransform().zoom(), fitted);
        v->ExecuteCommand(CmdClose);
        QVERIFY(v->IsEmpty());
    }

    void borderToggleRefits() {
        auto v = shownView();
        QVERIFY(v);
        v->setDocument(twoLayouts());
        const double withBorder = v->viewTransform().zoom();
        v->setIsWithoutBorder(true);
        QVERIFY(v->IsWithoutBorder());
        QVERIFY(v->viewTransform().zoom() > withBorder);
        const TRect r = v->GetImageRect();
        QCOMPARE(r.Right - r.Left, v->drawingArea().width()); // 200 x 100 fills the width
        v->setIsWithoutBorder(false);
        QCOMPARE(v->viewTransform().zoom(), withBorder);
    }

    void resizeKeepsCentreAndScale() {
        auto v = shownView();
        QVERIFY(v);
        v->setDocument(twoLayouts());
        v->ZoomAt(false, 2, 200, 150);
        const double zoom = v->viewTransform().zoom();
        const Vec2 centre = v->viewTransform().center();
        v->resize(600, 500);
        QCOMPARE(v->viewTransform().zoom(), zoom);
        QCOMPARE(v->viewTransform().center().x, centre.x);
        QCOMPARE(v->viewTransform().center().y, centre.y);
    }

    void fittedViewStaysFittedWhenResized() {
        auto v = shownView();
        QVERIFY(v);
        v->setDocument(twoLayouts());
        const double before = v->viewTransform().zoom();
        v->resize(800, 600); // as when the window is maximised after the first load
        QVERIFY(v->viewTransform().zoom() > before * 1.5);
        v->ZoomAt(false, 2, 100, 100);
        const double zoomed = v->viewTransform().zoom();
        v->resize(500, 400); // once the user has zoomed, the scale is theirs
        QCOMPARE(v->viewTransform().zoom(), zoomed);
    }

    void barsTakeRoomUntilHidden() {
        DrawingView view;
        view.resize(400, 300);
        QVERIFY(view.ToolBarVisible() && view.LayoutsBarVisible());
        QVERIFY(view.drawingArea().top() > 0);
        view.setToolBarVisible(false);
        QVERIFY(view.drawingArea().top() > 0);
        view.setLayoutsBarVisible(false);
        QCOMPARE(view.drawingArea(), view.rect());
    }

    void cacheRendersOnlyWhenTheViewChanges() {
        auto v = shownView();
        QVERIFY(v);
        v->setDocument(twoLayouts());
        v->setMouseNavigation(true);
        v->grab();
        const int first = v->renderCount();
        QVERIFY(first >= 1);
        for (int i = 0; i < 20; ++i)
            QTest::mouseMove(v.get(), QPoint(10 + i * 7, 20 + i * 5));
        v->repaint();
        v->grab();
        QCOMPARE(v->renderCount(), first); // moves and repaints blit the cache

        QTest::mousePress(v.get(), Qt::RightButton, {}, QPoint(100, 100));
        for (int i = 1; i <= 10; ++i) {
            QTest::mouseMove(v.get(), QPoint(100 + i * 5, 100));
            v->repaint();
        }
        QCOMPARE(v->renderCount(), first); // a pan drag shifts the picture
        QTest::mouseRelease(v.get(), Qt::RightButton, {}, QPoint(150, 100));
        v->repaint();
        QCOMPARE(v->renderCount(), first + 1); // and renders once when it ends

        v->ExecuteCommand(CmdZoomIn);
        v->repaint();
        QCOMPARE(v->renderCount(), first + 2);
    }

    void panAndZoomWindowTools() {
        auto v = shownView();
        QVERIFY(v);
        v->setDocument(twoLayouts());
        const DrawingPoint grabbed = v->ScreenToDrawing(100, 100);
        v->ExecuteCommand(CmdPan);
        QTest::mousePress(v.get(), Qt::LeftButton, {}, QPoint(100, 100));
        QTest::mouseMove(v.get(), QPoint(140, 90));
        QTest::mouseRelease(v.get(), Qt::LeftButton, {}, QPoint(140, 90));
        QVERIFY(near(v->ScreenToDrawing(140, 90), grabbed));
        v->ExecuteCommand(CmdPan); // off again
        QTest::mousePress(v.get(), Qt::LeftButton, {}, QPoint(100, 100));
        QTest::mouseMove(v.get(), QPoint(160, 100));
        QTest::mouseRelease(v.get(), Qt::LeftButton, {}, QPoint(160, 100));
        QVERIFY(near(v->ScreenToDrawing(140, 90), grabbed));

        // A window drawn around a part of the drawing fills the view with it.
        v->ExecuteCommand(CmdFit);
        const DrawingPoint a = v->ScreenToDrawing(100, 100), b = v->ScreenToDrawing(200, 150);
        v->ExecuteCommand(CmdZoomWindow);
        QTest::mousePress(v.get(), Qt::LeftButton, {}, QPoint(100, 100));
        QTest::mouseMove(v.get(), QPoint(200, 150));
        QTest::mouseRelease(v.get(), Qt::LeftButton, {}, QPoint(200, 150));
        const DrawingPoint centre = v->ScreenToDrawing(200, 150);
        QVERIFY(std::abs(centre.X - (a.X + b.X) / 2) < 0.5);
        QVERIFY(std::abs(centre.Y - (a.Y + b.Y) / 2) < 0.5);
        QVERIFY(std::abs(v->ScreenToDrawing(0, 150).X - a.X) <
                0.5); // 2:1 window fills 400x300 wide
        const double zoomed = v->viewTransform().zoom();
        // The tool is used up: the next drag does nothing to the view.
        QTest::mousePress(v.get(), Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseMove(v.get(), QPoint(300, 250));
        QTest::mouseRelease(v.get(), Qt::LeftButton, {}, QPoint(300, 250));
        QCOMPARE(v->viewTransform().zoom(), zoomed);
    }

    void paintFittedDrawsOnPaper() {
        DrawingView view;
        auto doc = twoLayouts();
        doc->blocks[0].addPolyline({{0, 100}, {200, 0}}, false).color = Color::foreground();
        view.setDocument(std::move(doc));
        view.setIsWithoutBorder(true);
        QImage page(400, 300, QImage::Format_RGB32);
        page.fill(Qt::green);
        QPainter painter(&page);
        view.paintFitted(painter, QRectF(0, 100, 400, 200), Qt::white);
        painter.end();
        QCOMPARE(page.pixel(5, 5) & 0xFFFFFF, 0x00FF00u);     // outside the target
        QCOMPARE(page.pixel(390, 110) & 0xFFFFFF, 0xFFFFFFu); // paper
        QCOMPARE(page.pixel(200, 200) & 0xFFFFFF, 0x000000u); // the crossing: colour 7
        int red = 0;
        for (int x = 0; x < 400; ++x)
            for (int y = 100; y < 300; ++y)
                red += (page.pixel(x, y) & 0xFFFFFF) == 0xFF0000;
        QVERIFY(red > 300);
    }

    void paintShowsTheDrawing() {
        auto v = shownView();
        QVERIFY(v);
        v->setDocument(twoLayouts());
        const QImage shot = v->grab().toImage();
        int red = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                red += (shot.pixel(x, y) & 0xFFFFFF) == 0xFF0000;
        QVERIFY(red > 100);
        // Switching the layer off and refreshing removes it.
        v->DXFImage()->Converter()->Layers(1)->setVisible(WordFalse);
        v->RefreshView();
        const QImage after = v->grab().toImage();
        for (int y = 0; y < after.height(); ++y)
            for (int x = 0; x < after.width(); ++x)
                QVERIFY((after.pixel(x, y) & 0xFFFFFF) != 0xFF0000);
    }
};

QTEST_MAIN(TestDrawingView)
#include "test_drawingview.moc"

#include "application.h"
#include "layers_dialog.h"
#include "main_window.h"

#include "DrawingView.h"
#include "close_up_combobox.h"

#include <QFile>
#include <QImage>
#include <QListWidget>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

using namespace DrawingViewLib;

namespace {

// Layer "Red" holds a 100-unit horizontal line, layer "Blue" one above it.
QByteArray twoLayerDxf(double length, int insunits = -1) {
    const QString len = QString::number(length);
    const QString header =
        insunits < 0 ? QString()
                     : QStringLiteral("0\nSECTION\n2\nHEADER\n9\n$INSUNITS\n70\n%1\n0\nENDSEC\n")
                           .arg(insunits);
    return (header +
            QStringLiteral("0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n70\n2\n"
                           "0\nLAYER\n2\nRed\n70\n0\n62\n1\n6\nCONTINUOUS\n"
                           "0\nLAYER\n2\nBlue\n70\n0\n62\n5\n6\nCONTINUOUS\n0\nENDTAB\n0\nENDSEC\n"
                           "0\nSECTION\n2\nENTITIES\n"
                           "0\nLINE\n8\nRed\n10\n0\n20\n0\n30\n0\n11\n%1\n21\n0\n31\n0\n"
                           "0\nLINE\n8\nBlue\n10\n0\n20\n40\n30\n0\n11\n%1\n21\n40\n31\n0\n"
                           "0\nENDSEC\n0\nEOF\n")
                .arg(len))
        .toLatin1();
}

// Thin lines may be antialiased: a clear lead of one channel counts.
bool isRed(QRgb c) {
    return qRed(c) > qGreen(c) + 60 && qRed(c) > qBlue(c) + 60;
}
bool isBlue(QRgb c) {
    return qBlue(c) > qRed(c) + 60 && qBlue(c) > qGreen(c) + 60;
}

// Longest run of red pixels in any row, from first to last red pixel.
int redSpan(const QImage& image) {
    int best = 0;
    for (int y = 0; y < image.height(); ++y) {
        int first = -1, last = -1;
        for (int x = 0; x < image.width(); ++x)
            if (isRed(image.pixel(x, y))) {
                if (first < 0)
                    first = x;
                last = x;
            }
        if (first >= 0)
            best = std::max(best, last - first + 1);
    }
    return best;
}

int countColour(const QImage& image, bool (*probe)(QRgb)) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += probe(image.pixel(x, y));
    return n;
}

} // namespace

class TestRealOutput : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_errors;

    QString writeDxf(const QString& name, double length, int insunits = -1) {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write(twoLayerDxf(length, insunits));
        return path;
    }

    std::unique_ptr<TfmMain> openWindow(const QString& path) {
        auto window =
            std::make_unique<TfmMain>([](QWidget* parent) { return new dv::DrawingView(parent); });
        window->resize(900, 600);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qWarning("not exposed");
        window->openFile(path);
        return window;
    }

    static std::shared_ptr<ILayer> layerNamed(TfmMain& window, const QString& name) {
        const auto converter = window.DrawingView->DXFImage()->Converter();
        for (int i = 0; i < converter->Count(CountLayers); ++i)
            if (converter->Layers(i)->Name() == name)
                return converter->Layers(i);
        return nullptr;
    }

    // Rasterises a PDF at 10 pixels per millimetre, one image per page.
    QList<QImage> rasterise(const QString& pdf) {
        const QString gs = QStandardPaths::findExecutable(QStringLiteral("gs"));
        if (gs.isEmpty())
            return {};
        const QString pattern = m_dir.filePath(QStringLiteral("page-%d.png"));
        QProcess::execute(gs, {"-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=png16m", "-r254",
                               "-sOutputFile=" + pattern, pdf});
        QList<QImage> pages;
        for (int i = 1;; ++i) {
            const QString file = m_dir.filePath(QStringLiteral("page-%1.png").arg(i));
            if (!QFile::exists(file))
                break;
            pages << QImage(file);
            QFile::remove(file);
        }
        return pages;
    }

    // Prints through the window's handler into a PDF instead of a dialog.
    QString printToPdf(TfmMain& window, void (TfmMain::*handler)(), const QString& name,
                       QString* title = nullptr) {
        const QString pdf = m_dir.filePath(name);
        window.setPrintRunner([&](QWidget*, QPrinter& printer, bool, const QString& t,
                                  const std::function<void(QPrinter&)>& paint) {
            if (title)
                *title = t;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            printer.setPageSize(QPageSize(QPageSize::A4));
            paint(printer);
        });
        (window.*handler)();
        return pdf;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        static_cast<TApplication*>(QCoreApplication::instance())
            ->setErrorReporter([this](const QString& m) { m_errors << m; });
    }
    void init() { m_errors.clear(); }

    void savedPicturesLeaveOutTheLayerSwitchedOff() {
        auto window = openWindow(writeDxf("two.dxf", 100));
        QVERIFY(window->DrawingView->IsDrawing());
        // The border frame lies on the extents, over both lines.
        window->DrawingView->setIsWithoutBorder(true);
        QString target;
        window->setSaveAsker([&](QWidget*, QString& path, QSize& pixels) {
            path = target;
            pixels = QSize(400, 300);
            return true;
        });
        target = m_dir.filePath("both.png");
        window->mmiSave->trigger();
        QImage both(target);
        QCOMPARE(both.size(), QSize(400, 300));
        QVERIFY(countColour(both, isRed) > 0);
        QVERIFY(countColour(both, isBlue) > 0);

        layerNamed(*window, "Blue")->setVisible(WordFalse);
        window->DrawingView->RefreshView();
        for (const char* name : {"red.png", "red.jpg", "red.bmp", "red.tif"}) {
            target = m_dir.filePath(name);
            window->mmiSave->trigger();
            QImage red(target);
            QVERIFY2(!red.isNull(), name);
            QVERIFY2(countColour(red, isRed) > 0, name);
            QCOMPARE(countColour(red, isBlue), 0);
        }
        target = m_dir.filePath("red.svg");
        window->mmiSave->trigger();
        QFile svg(target);
        QVERIFY(svg.open(QIODevice::ReadOnly));
        const QByteArray text = svg.readAll().toLower();
        QVERIFY(text.contains("#ff0000"));
        QVERIFY(!text.contains("#0000ff"));

        target = m_dir.filePath("red.pdf");
        window->mmiSave->trigger();
        const QList<QImage> pdfPages = rasterise(target);
        if (!pdfPages.isEmpty()) {
            QCOMPARE(pdfPages.size(), 1);
            QVERIFY(countColour(pdfPages[0], isRed) > 0);
            QCOMPARE(countColour(pdfPages[0], isBlue), 0);
        }
        QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
    }

    void badPictureRequestsAreReportedAndWriteNothing() {
        auto window = openWindow(writeDxf("bad.dxf", 100));
        QString target = m_dir.filePath("huge.png");
        QSize size(100000, 100000);
        window->setSaveAsker([&](QWidget*, QString& path, QSize& pixels) {
            path = target;
            pixels = size;
            return true;
        });
        window->mmiSave->trigger();
        QTRY_COMPARE(m_errors.size(), 1);
        QVERIFY(!QFile::exists(target));
        size = QSize(100, 100);
        target = m_dir.filePath("picture.xyz");
        window->mmiSave->trigger();
        QTRY_COMPARE(m_errors.size(), 2);
        QVERIFY(m_errors[1].contains("xyz"));
        target = m_dir.filePath("no-such-dir/picture.png");
        window->mmiSave->trigger();
        QTRY_COMPARE(m_errors.size(), 3);
    }

    void printOneToOneMeasuresHundredMillimetres() {
        auto window = openWindow(writeDxf("line.dxf", 100));
        QString title;
        const QString pdf = printToPdf(*window, &TfmMain::BtnPrint1Click, "one-to-one.pdf", &title);
        QCOMPARE(title, QStringLiteral("Print 1:1 (1 page)"));
        QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
        const QList<QImage> pages = rasterise(pdf);
        if (pages.isEmpty())
            QSKIP("Ghostscript is not installed; the page cannot be measured");
        QCOMPARE(pages.size(), 1);
        const int span = redSpan(pages[0]); // 10 pixels per millimetre
        QVERIFY2(qAbs(span - 1000) <= 5, qPrintable(QString::number(span)));
    }

    void printOneToOneConvertsTheDrawingsUnitsToMillimetres() {
        // 10 by 40 centimetres ($INSUNITS 5): 100 by 400 mm, two portrait
        // pages, the red line at the bottom of the second.
        auto window = openWindow(writeDxf("cm.dxf", 10, 5));
        QString title;
        const QString pdf = printToPdf(*window, &TfmMain::BtnPrint1Click, "cm.pdf", &title);
        QCOMPARE(title, QStringLiteral("Print 1:1 (2 pages)"));
        const QList<QImage> pages = rasterise(pdf);
        if (pages.isEmpty())
            QSKIP("Ghostscript is not installed; the page cannot be measured");
        QCOMPARE(pages.size(), 2);
        QCOMPARE(countColour(pages[0], isRed), 0);
        const int span = redSpan(pages[1]);
        QVERIFY2(qAbs(span - 1000) <= 5, qPrintable(QString::number(span)));
    }

    void printOneToOneSplitsALargeDrawingOverPages() {
        // 600 mm by 40 mm: three landscape A4 pages side by side.
        auto window = openWindow(writeDxf("long.dxf", 600));
        QString title;
        const QString pdf = printToPdf(*window, &TfmMain::BtnPrint1Click, "long.pdf", &title);
        QCOMPARE(title, QStringLiteral("Print 1:1 (3 pages)"));
        const QList<QImage> pages = rasterise(pdf);
        if (pages.isEmpty())
            QSKIP("Ghostscript is not installed; the pages cannot be counted");
        QCOMPARE(pages.size(), 3);
        int total = 0;
        for (const QImage& page : pages) {
            QVERIFY(countColour(page, isRed) > 0); // the line crosses every page
            total += redSpan(page);
        }
        QVERIFY2(qAbs(total - 6000) <= 15, qPrintable(QString::number(total)));
    }

    void printFitsTheLayoutInTheOrientationThatSuitsIt() {
        auto window = openWindow(writeDxf("fit.dxf", 100));
        window->DrawingView->setIsWithoutBorder(true);
        const QString pdf = printToPdf(*window, &TfmMain::mmiPrintClick, "fit.pdf");
        const QList<QImage> pages = rasterise(pdf);
        if (pages.isEmpty())
            QSKIP("Ghostscript is not installed");
        QCOMPARE(pages.size(), 1);
        QVERIFY(pages[0].width() > pages[0].height()); // landscape for a wide drawing
        // Fitted: the line spans most of the page's width, far beyond 100 mm.
        QVERIFY(redSpan(pages[0]) > 2000);
    }

    void printWithNothingLoadedSaysSo() {
        auto window =
            std::make_unique<TfmMain>([](QWidget* parent) { return new dv::DrawingView(parent); });
        window->show();
        bool ran = false;
        window->setPrintRunner([&](QWidget*, QPrinter&, bool, const QString&,
                                   const std::function<void(QPrinter&)>&) { ran = true; });
        QVERIFY(window->mmiPrint->isEnabled());
        window->mmiPrint->trigger();
        window->mmiPrintPreview->trigger();
        QVERIFY(!ran);
        QVERIFY(window->statusBar()->currentMessage().contains("Nothing to print"));
        QVERIFY(m_errors.isEmpty());
    }

    void siteplanLayoutsAndLayersWorkTogether() {
        auto window = openWindow(QStringLiteral(SAMPLES_DIR "/site-plan.dxf"));
        QVERIFY(window->DrawingView->IsDrawing());
        QCOMPARE(window->cbLayouts->count(), 3);
        auto* view = static_cast<dv::DrawingView*>(window->DrawingView);
        QCOMPARE(window->cbLayouts->currentIndex(), view->currentLayout());
        // Pick another layout; the control follows, the combobox stays on it.
        const int other = (view->currentLayout() + 1) % 3;
        window->cbLayouts->setCurrentIndex(other);
        window->cbLayoutsCloseUp();
        QCOMPARE(view->currentLayout(), other);
        QCOMPARE(window->cbLayouts->currentIndex(), other);
        // Changed in the control: the combobox follows.
        view->showLayout(0);
        QCOMPARE(window->cbLayouts->currentIndex(), 0);

        // Layers: toggled then cancelled restores; 13 entries.
        const auto converter = window->DrawingView->DXFImage()->Converter();
        std::vector<bool> before;
        for (int i = 0; i < converter->Count(CountLayers); ++i)
            before.push_back(converter->Layers(i)->Visible() != 0);
        int entries = 0;
        setLayersDialogShownHook([&](TfmLayers& form) {
            entries = form.clbLayers->count();
            form.btnSwitch->click();
            form.btnCancel->click();
        });
        window->btnLayersClick();
        setLayersDialogShownHook({});
        QCOMPARE(entries, 14); // the sample's layers, its viewports' own included
        for (int i = 0; i < converter->Count(CountLayers); ++i)
            QCOMPARE(converter->Layers(i)->Visible() != 0, before[size_t(i)]);
        QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vistrel"));
    TestRealOutput test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_real_output.moc"

#pragma once

// Shared set-up of the viewer tests: the viewer's own application object (so
// error reports go where the program sends them) and a main window around a
// scripted control.

#include "application.h"
#include "fake_drawing_view.h"
#include "main_window.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

struct ViewerFixture {
    std::unique_ptr<TfmMain> window;
    FakeDrawingView* control = nullptr;
    QStringList errors;
    QStringList infos;

    explicit ViewerFixture(bool show = true) {
        static_cast<TApplication*>(QCoreApplication::instance())
            ->setErrorReporter([this](const QString& m) { errors << m; });
        window = std::make_unique<TfmMain>([this](QWidget* parent) {
            control = new FakeDrawingView(parent);
            return control;
        });
        window->setInfoReporter([this](const QString& m) { infos << m; });
        if (show) {
            window->show();
            if (!QTest::qWaitForWindowExposed(window.get()))
                qWarning("main window not exposed");
        }
    }
    ~ViewerFixture() {
        static_cast<TApplication*>(QCoreApplication::instance())->setErrorReporter({});
    }

    void loadDrawing(const QStringList& layouts = {QStringLiteral("Model")}, int active = 0) {
        control->setLayouts(layouts, active);
        control->nextContent = FakeDrawingView::Content::Drawing;
        control->LoadFile(QStringLiteral("/tmp/plan.dxf"));
    }
    void loadRaster(int width = 640, int height = 480) {
        control->rasterWidth = width;
        control->rasterHeight = height;
        control->nextContent = FakeDrawingView::Content::Raster;
        control->LoadFile(QStringLiteral("/tmp/photo.png"));
    }
};

// QTEST_MAIN with the viewer's application object, and settings (the recent files) kept in a
// folder of the run's own.
#define VIEWER_TEST_MAIN(TestClass)                                                                \
    int main(int argc, char** argv) {                                                              \
        TApplication app(argc, argv);                                                              \
        QCoreApplication::setApplicationName(QStringLiteral("Vistrel"));                           \
        QTemporaryDir settingsDir;                                                                 \
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());     \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }

#include "application.h"
#include "main_window.h"

#include "DrawingView.h"

#include <QMessageBox>
#include <QTimer>

#include <memory>

int main(int argc, char* argv[]) {
    TApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vistrel"));

    std::unique_ptr<TfmMain> window;
    try {
        window = std::make_unique<TfmMain>([](QWidget* parent) -> DrawingViewLib::IDrawingView* {
            return new dv::DrawingView(parent);
        });
    } catch (const std::exception& e) {
        // Without its control the window has nothing to show.
        QMessageBox::critical(nullptr, QCoreApplication::applicationName(),
                              QString::fromUtf8(e.what()));
        return 1;
    }
    window->showMaximized();

    const QStringList args = QCoreApplication::arguments();
    if (args.size() > 1) {
        const QString fileName = args.at(1);
        TfmMain* target = window.get();
        QTimer::singleShot(0, target, guarded([target, fileName] { target->openFile(fileName); }));
    }
    return app.exec();
}

#include "application.h"
#include "main_window.h"

#include "DrawingView.h"

#include <QTimer>

int main(int argc, char* argv[]) {
    TApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vistrel"));

    TfmMain window([](QWidget* parent) -> DrawingViewLib::IDrawingView* {
        return new dv::DrawingView(parent);
    });
    window.showMaximized();

    const QStringList args = QCoreApplication::arguments();
    if (args.size() > 1) {
        const QString fileName = args.at(1);
        QTimer::singleShot(0, &window, guarded([&window, fileName] { window.openFile(fileName); }));
    }
    return app.exec();
}

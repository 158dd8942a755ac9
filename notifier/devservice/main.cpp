// tidewell-devservice [--port N] [scenario.json]
// Serves the notifier's endpoints on 127.0.0.1 and prints each request it receives.
#include "dev_service.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A stand-in for the Quillon web service on 127.0.0.1."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Port to listen on (0 picks a free one)."),
                                        QStringLiteral("N"), QStringLiteral("0"));
    parser.addOption(portOption);
    parser.addPositionalArgument(QStringLiteral("scenario"),
                                 QStringLiteral("JSON file with the routes to serve."));
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    DevService service;
    const QStringList args = parser.positionalArguments();
    QString error;
    if (!args.isEmpty() && !service.loadScenarioFile(args.first(), &error)) {
        err << error << Qt::endl;
        return 2;
    }
    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535 || !service.listen(quint16(port))) {
        err << "cannot listen on port " << parser.value(portOption) << Qt::endl;
        return 1;
    }
    out << "listening on " << service.baseUrl() << Qt::endl;
    QObject::connect(&service, &DevService::requestLogged, [&out](const DevRequest& r) {
        out << r.method << ' ' << r.target << Qt::endl;
    });
    return app.exec();
}

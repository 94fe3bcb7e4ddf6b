// quillbank-demo: the tool's window with a simulated device listed as a present device.
// By default the device runs in this process with a freshly generated sample set;
// --port PATH lists that port (for example another simulator's pty) as the device instead.

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <memory>

#include "DeviceSimulator.h"
#include "QuillbankVersion.h"
#include "SimulatedPort.h"
#include "VersionOption.h"
#include "app/QuillbankApp.h"
#include "link/TermiosPort.h"

int main(int argc, char** argv) {
    // Without a display the application object cannot be made; --version needs none.
    if (AnswerVersionOption(argc, argv, "quillbank-demo")) return 0;
    QApplication application(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLBANK_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The Quillbank window with a simulated device as the present device."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("List PATH as the device instead of the built-in one."),
                                  QStringLiteral("PATH"));
    parser.addOption(port);
    parser.process(application);

    std::unique_ptr<DeviceSimulator> device;
    std::unique_ptr<SimulatorPump> pump;
    QString location = parser.value(port);
    if (location.isEmpty()) {
        SimOptions options;
        options.content = SimOptions::Content::Sample;
        device = std::make_unique<DeviceSimulator>(options);
        if (!device->Open()) {
            std::fprintf(stderr, "quillbank-demo: %s\n", qPrintable(device->LastError()));
            return 1;
        }
        location = device->PortPath();
        pump = std::make_unique<SimulatorPump>(*device);
    }

    TermiosPortProvider ports;
    ListedPortLister lister(location);
    CQuillbankApp theApp(ports, lister);
    theApp.InitInstance();
    return 0;
}

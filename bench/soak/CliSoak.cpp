#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTextStream>
#include <cstdio>

#include "Figures.h"
#include "RunCli.h"
#include "SimulatedPort.h"
#include "Soak.h"
#include "link/TermiosPort.h"

int SoakCommandLine(int cycles, int tickMs, const QString& devsim, const QString& folder) {
    QProcess device;
    device.start(devsim, {QStringLiteral("--sample")});
    if (!device.waitForStarted(5000) || !device.waitForReadyRead(10000)) {
        std::fprintf(stderr, "soak: %s did not start\n", qPrintable(devsim));
        return cycles;
    }
    const QString port = QString::fromLocal8Bit(device.readLine()).trimmed();

    TermiosPortProvider ports;
    ListedPortLister lister(port);
    const CliEnvironment environment{ports, lister, tickMs, false};
    const QString target = folder + QStringLiteral("/slot0.crt");
    const QStringList arguments = {QStringLiteral("--port"), port,
                                   QStringLiteral("--yes"),  QStringLiteral("read"),
                                   QStringLiteral("0"),      target};

    int failures = 0;
    FigureRows rows("cli", cycles);
    rows.Row(0);
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        if (RunCli(arguments, outStream, errStream, environment) != CLI_OK ||
            QFileInfo(target).size() == 0) {
            ++failures;
            std::fprintf(stderr, "soak: cli cycle %d failed: %s\n", cycle,
                         qPrintable(err.trimmed()));
        }
        // The first cycle also shows what is set up once (Qt's own helpers, caches).
        if (cycle == 1 || cycle % 100 == 0 || cycle == cycles) rows.Row(cycle);
    }

    device.terminate();
    device.waitForFinished(5000);
    // The simulator's own count: every frame it received broke no rule.
    std::printf("quillbank-devsim: %s\n",
                qPrintable(QString::fromLocal8Bit(device.readAllStandardError()).trimmed()));
    rows.Summary(failures);
    return failures;
}

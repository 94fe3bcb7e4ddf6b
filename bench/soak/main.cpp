// Soak: connect -> load -> read -> disconnect, over and over, first through the
// command-line session against the quillbank-devsim program, then through the window
// (offscreen). Prints the open descriptors and resident memory of this process at the
// start, after the first cycle and after every hundred cycles of each phase; both should
// stay flat after the first cycle. A program to run by hand, not a test:
//
//   quillbank-bench-soak [--cli N] [--window N] [--tick-ms MS]
//
// Defaults: 1000 command-line cycles at a 1 ms tick, 200 window cycles.

#include <QApplication>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdio>

#include "BenchDevice.h"
#include "Soak.h"
#include "support/Trace.h"

namespace {
// The offscreen platform says so for every window raise; not worth printing.
QtMessageHandler g_standardHandler = nullptr;
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QStringLiteral("This plugin does not support"))) return;
    if (g_standardHandler != nullptr) g_standardHandler(type, context, message);
}
}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    g_standardHandler = qInstallMessageHandler(QuietHandler);
    QApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int cliCycles = IntArgument(args, "--cli", 1000);
    const int windowCycles = IntArgument(args, "--window", 200);
    const int tickMs = IntArgument(args, "--tick-ms", 1);
    SetStandardOutputSink([](const QString&) {});
    SetDebugOutputSink([](const QString&) {});

    QTemporaryDir folder;
    if (!folder.isValid()) return 1;
    int failures = 0;
    if (cliCycles > 0)
        failures += SoakCommandLine(cliCycles, tickMs, QStringLiteral(QB_DEVSIM), folder.path());
    if (windowCycles > 0) failures += SoakWindow(windowCycles, folder.path());
    return failures == 0 ? 0 : 1;
}

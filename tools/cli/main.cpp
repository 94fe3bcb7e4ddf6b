// quillbank-cli: list ports and slots, read, write and remove slots, summarise local files.

#include <unistd.h>

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#include "RunCli.h"
#include "StopSignals.h"
#include "link/QtDeviceLister.h"
#include "link/TermiosPort.h"

int main(int argc, char** argv) {
    InstallStopSignals();
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();

    QTextStream out(stdout);
    QTextStream err(stderr);
    TermiosPortProvider ports;
    QtDeviceLister lister;
    CliEnvironment environment{ports, lister};
    environment.interactive = ::isatty(STDIN_FILENO) == 1;
    const int code = RunCli(arguments, out, err, environment);
    out.flush();
    err.flush();
    return code;
}

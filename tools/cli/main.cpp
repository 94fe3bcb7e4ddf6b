// quillbank-cli: list ports and slots, read, write and remove slots, summarise local files.

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#include "RunCli.h"
#include "StopSignals.h"

#ifdef _WIN32
#include <io.h>

#include "link/SetupApiLister.h"
#include "link/Win32Port.h"
using PortProvider = Win32PortProvider;
using Lister = SetupApiLister;
bool InputIsTerminal() { return _isatty(_fileno(stdin)) != 0; }
#else
#include <unistd.h>

#include "link/QtDeviceLister.h"
#include "link/TermiosPort.h"
using PortProvider = TermiosPortProvider;
using Lister = QtDeviceLister;
bool InputIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }
#endif

int main(int argc, char** argv) {
    InstallStopSignals();
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();

    QTextStream out(stdout);
    QTextStream err(stderr);
    PortProvider ports;
    Lister lister;
    CliEnvironment environment{ports, lister};
    environment.interactive = InputIsTerminal();
    const int code = RunCli(arguments, out, err, environment);
    out.flush();
    err.flush();
    return code;
}

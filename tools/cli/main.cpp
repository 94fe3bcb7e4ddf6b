// quillbank-cli: list ports and slots, read, write and remove slots, summarise local files.

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#include "RunCli.h"
#include "StopSignals.h"

#include "link/PlatformLink.h"

#ifdef _WIN32
#include <io.h>
bool InputIsTerminal() { return _isatty(_fileno(stdin)) != 0; }
#else
#include <unistd.h>
bool InputIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }
#endif

int main(int argc, char** argv) {
    InstallStopSignals();
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();

    QTextStream out(stdout);
    QTextStream err(stderr);
    PlatformPortProvider ports;
    PlatformDeviceLister lister;
    CliEnvironment environment{ports, lister};
    environment.interactive = InputIsTerminal();
    const int code = RunCli(arguments, out, err, environment);
    out.flush();
    err.flush();
    return code;
}

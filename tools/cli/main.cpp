// quillbank-cli: list ports and slots, read, write and remove slots, summarise local files.

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#include "RunCli.h"
#include "StopSignals.h"
#include "link/PlatformLink.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
bool InputIsTerminal() { return _isatty(_fileno(stdin)) != 0; }
// The output goes out byte for byte as on Linux: a text-mode stream would turn the trace
// lines' own "\r\n" into "\r\r\n".
void WriteOutputAsIs() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}
#else
#include <unistd.h>
bool InputIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }
void WriteOutputAsIs() {}
#endif

int main(int argc, char** argv) {
    InstallStopSignals();
    WriteOutputAsIs();
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
    ReportRunEnded();
    return code;
}

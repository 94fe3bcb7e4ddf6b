#pragma once
// quillbank-cli: the slot engine without a window. A session connects to the device, loads
// every slot as the window does, runs one command through the same button handlers and
// disconnects. Outcomes are read from the engine's state and its trace, exactly what the
// window's user sees.

#include <QString>
#include <QStringList>
#include <QTextStream>

#include "engine/SlotEngine.h"
#include "link/DeviceDiscovery.h"
#include "support/DialogServices.h"

// Exit codes of quillbank-cli.
enum CliExit : int {
    CLI_OK = 0,
    CLI_CANCELLED = 1,        // a confirmation was declined
    CLI_USAGE = 2,            // bad command line
    CLI_NO_DEVICE = 3,        // no matching device present
    CLI_SEVERAL_DEVICES = 4,  // more than one, and no --port
    CLI_PORT_FAILED = 5,      // the port could not be opened or set up
    CLI_REFUSED = 6,          // the device refused or answered out of order
    CLI_TIMEOUT = 7,          // no progress within --timeout seconds
    CLI_LOCAL_FILE = 8,       // the local file could not be read, written or is too large
    CLI_EMPTY_SLOT = 9,       // read: the slot holds nothing
    CLI_CONNECTION_LOST = 10, // the port failed while connected (device unplugged)
};

// Message boxes become lines on standard error; the file dialogs answer with the FILE of
// the command line; confirmations are asked on the terminal unless --yes.
class CliDialogs : public DialogServices {
public:
    CliDialogs(QTextStream& err, QString file, bool assumeYes, bool interactive);

    int ShowMessageBox(const QString& text, const QString& caption, unsigned type) override;
    bool ChooseOpenFile(const QString& filter, const QString& startFolder,
                        QString& path) override;
    bool ChooseSaveFile(const QString& filter, const QString& defaultExtension,
                        QString& path) override;
    void OpenDocument(const QString& path) override;

    QStringList messages;       // every message box text, in order
    bool declined = false;      // a confirmation was answered no
    bool fileProblem = false;   // the FILE could not be used

private:
    bool Confirm(const QString& question);

    QTextStream& m_err;
    QString m_file;
    bool m_assumeYes;
    bool m_interactive;
};

class CliSession : public CSlotEngine {
public:
    CliSession(CommPortProvider& ports, DialogServices& services, PortChoice port);
    PortChoice SelectedPort() const override { return m_port; }
    void RefreshSlotLists() override {}

    // One tick of the two timers that drive the engine.
    void Tick() {
        ReceiveFromPort();
        StepEngine();
    }

private:
    PortChoice m_port;
};

struct CliEnvironment {
    CommPortProvider& ports;
    DeviceLister& lister;
    int tickMs = 100;          // engine tick; the program always uses 100 ms
    bool interactive = false;  // confirmations may be asked on the terminal
};

// Runs one command line (without the program name). Everything is printed to `out` and
// `err`; the result is a CliExit.
int RunCli(const QStringList& arguments, QTextStream& out, QTextStream& err,
           const CliEnvironment& environment);

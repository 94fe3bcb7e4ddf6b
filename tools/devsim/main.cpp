// quillbank-devsim: a simulated device on a pseudo-terminal. Prints the path the host
// should open, then answers until it is terminated (SIGTERM or SIGINT), and finally prints
// how many frames it received and how many broke the rules.

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

#include "DeviceSimulator.h"
#include "QuillbankVersion.h"

namespace {
volatile sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

void PrintErr(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillbank-devsim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLBANK_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated device on a pseudo-terminal. Prints the port path, then runs until "
        "terminated.\nSlot files in a folder are named slot00 ... slot14."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption folder(QStringLiteral("folder"),
                                    QStringLiteral("Load the slots from DIR."),
                                    QStringLiteral("DIR"));
    const QCommandLineOption sample(
        QStringLiteral("sample"),
        QStringLiteral("Start with a freshly generated sample set (written to --folder if given)."));
    const QCommandLineOption persist(QStringLiteral("persist"),
                                     QStringLiteral("Write stored and removed slots back to --folder."));
    const QCommandLineOption piece(QStringLiteral("piece"),
                                   QStringLiteral("File bytes per read answer, 1-1024 (default 1024)."),
                                   QStringLiteral("N"), QStringLiteral("1024"));
    const QCommandLineOption fault(
        QStringLiteral("fault"),
        QStringLiteral("Inject a fault (repeatable): KIND[,cmd=CODE][,slot=N][,after=N]"
                       "[,times=N|always]. KIND: refuse-open, bad-checksum, split, garbage, "
                       "odd-data, long-data, no-answer, refuse-write, refuse-remove, vanish, "
                       "corrupt-store."),
        QStringLiteral("FAULT"));
    const QCommandLineOption splitDelay(QStringLiteral("split-delay"),
                                        QStringLiteral("Pause between the halves of a split answer (ms)."),
                                        QStringLiteral("MS"), QStringLiteral("150"));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Log every frame and every error on standard error."));
    const QCommandLineOption baud(
        QStringLiteral("baud"),
        QStringLiteral("Pace both directions at the byte rate of a RATE baud 7E1 line "
                       "(RATE/10 bytes a second); 0, the default, does not pace."),
        QStringLiteral("RATE"), QStringLiteral("0"));
    parser.addOptions({folder, sample, persist, piece, fault, splitDelay, baud, log});
    parser.process(app);

    SimOptions options;
    options.folder = parser.value(folder);
    options.persist = parser.isSet(persist);
    if (parser.isSet(sample))
        options.content = SimOptions::Content::Sample;
    else if (parser.isSet(folder))
        options.content = SimOptions::Content::Folder;
    bool ok = false;
    options.pieceSize = parser.value(piece).toInt(&ok);
    if (!ok || options.pieceSize < 1 || options.pieceSize > DeviceSimulator::MAX_PIECE) {
        PrintErr(QStringLiteral("quillbank-devsim: --piece must be 1 to 1024"));
        return 2;
    }
    options.splitDelayMs = parser.value(splitDelay).toInt(&ok);
    if (!ok || options.splitDelayMs < 0) {
        PrintErr(QStringLiteral("quillbank-devsim: bad --split-delay"));
        return 2;
    }
    options.baud = parser.value(baud).toInt(&ok);
    if (!ok || options.baud < 0) {
        PrintErr(QStringLiteral("quillbank-devsim: --baud must be a whole number of baud"));
        return 2;
    }
    if (options.persist && options.folder.isEmpty()) {
        PrintErr(QStringLiteral("quillbank-devsim: --persist needs --folder"));
        return 2;
    }
    for (const QString& text : parser.values(fault)) {
        SimFault parsed;
        QString error;
        if (!DeviceSimulator::ParseFault(text, parsed, error)) {
            PrintErr(QStringLiteral("quillbank-devsim: ") + error);
            return 2;
        }
        options.faults.push_back(parsed);
    }
    if (parser.isSet(log)) options.log = PrintErr;

    DeviceSimulator device(options);
    if (!device.Open()) {
        PrintErr(QStringLiteral("quillbank-devsim: ") + device.LastError());
        return 1;
    }

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    std::printf("%s\n", device.PortPath().toLocal8Bit().constData());
    std::fflush(stdout);

    while (!g_stop) {
        if (device.MasterFd() < 0) {
            ::usleep(50 * 1000);  // vanished: wait to be terminated
            continue;
        }
        pollfd p{device.MasterFd(), POLLIN, 0};
        (void)::poll(&p, 1, device.MillisecondsToNextWork(20));
        device.Poll();
    }
    PrintErr(QStringLiteral("frames received %1, answers sent %2, frame errors %3")
                 .arg(device.FramesReceived())
                 .arg(device.AnswersSent())
                 .arg(device.FrameErrors().size()));
    return 0;
}

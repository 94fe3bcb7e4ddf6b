// quillbank-cli against quillbank-devsim paced at the real line rate, with fifteen full
// slots (6144 bytes each): for list, backup and an apply of three certificates and a key
// with verification, the wall time, the line time of the bytes that crossed the line both
// ways (ten bits a byte: 7E1), and their ratio; first at the command-line tool's own pace
// (each step as soon as its answer is in), then at the window's 100 ms ticks. Target: each
// ratio at most 1.25 at the tool's own pace.
//
//   quillbank-bench-cli [--devsim PATH] [--baud RATE]

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <array>
#include <chrono>
#include <cstdio>

#include "CountingPorts.h"
#include "RunCli.h"
#include "SampleSet.h"

namespace {
constexpr double kTarget = 1.25;

// The port is always named: no listing needed.
class NoDevices : public DeviceLister {
public:
    bool EnumerateComDevices(std::vector<ComDeviceInfo>& devices) override {
        devices.clear();
        return true;
    }
};

QString Argument(const QStringList& args, const char* name, const QString& fallback) {
    const qsizetype at = args.indexOf(QLatin1String(name));
    return at >= 0 && at + 1 < args.size() ? args[at + 1] : fallback;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The simulated device as a program of its own; stopped when this ends.
class Device {
public:
    ~Device() {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) m_process.kill();
        m_process.waitForFinished(3000);
    }
    bool Start(const QString& program, const QStringList& arguments) {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program, arguments);
        if (!m_process.waitForStarted(5000)) return false;
        while (!m_process.canReadLine())
            if (!m_process.waitForReadyRead(10000)) return false;
        port = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        return port.startsWith(QStringLiteral("/dev/"));
    }
    QString port;

private:
    QProcess m_process;
};

struct Measure {
    int code = -1;
    double wallSeconds = 0;
    LineCount bytes;
};

Measure Run(const QStringList& arguments) {
    CountingPorts ports;
    NoDevices lister;
    CliEnvironment environment{ports, lister};
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    const auto start = std::chrono::steady_clock::now();
    Measure m;
    m.code = RunCli(arguments, outStream, errStream, environment);
    m.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.bytes = ports.count;
    errStream.flush();
    if (m.code != 0) std::fprintf(stderr, "%s", err.toLocal8Bit().constData());
    return m;
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString devsim = Argument(args, "--devsim", QStringLiteral(QB_DEVSIM));
    const int baud = Argument(args, "--baud", QStringLiteral("115200")).toInt();
    const double bytesPerSecond = baud / 10.0;

    QTemporaryDir work;
    std::array<QByteArray, 15> sample;
    QString error;
    if (!work.isValid() || !MakeSampleSlots(sample, error)) {
        std::fprintf(stderr, "cannot prepare the files: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    const QDir dir(work.path());
    dir.mkpath(QStringLiteral("slots"));
    for (int slot = 0; slot < 15; ++slot) {
        QByteArray full(6144, '\0');
        QRandomGenerator(static_cast<quint32>(slot + 1))
            .fillRange(reinterpret_cast<quint32*>(full.data()), full.size() / 4);
        WriteFile(dir.filePath(QStringLiteral("slots/slot%1").arg(slot, 2, 10, QLatin1Char('0'))),
                  full);
    }
    // Three certificates and a key.
    const int files[] = {0, 1, 2, 5};
    QStringList apply{QStringLiteral("--yes"), QStringLiteral("apply")};
    for (int i = 0; i < 4; ++i) {
        const QString path = dir.filePath(QStringLiteral("file%1").arg(i));
        WriteFile(path, sample[static_cast<size_t>(files[i])]);
        apply << QStringLiteral("--slot") << QStringLiteral("%1=%2").arg(i).arg(path);
    }

    std::printf("quillbank-cli against quillbank-devsim --baud %d, fifteen slots of 6144 bytes\n",
                baud);
    std::printf("%-10s %-7s %9s %10s %10s %9s %7s\n", "pace", "command", "wall s", "to device",
                "from dev.", "line s", "ratio");
    bool met = true;
    for (const int tick : {0, 100}) {
        Device device;
        if (!device.Start(devsim,
                          {QStringLiteral("--baud"), QString::number(baud),
                           QStringLiteral("--folder"), dir.filePath(QStringLiteral("slots"))})) {
            std::fprintf(stderr, "cannot start %s\n", devsim.toLocal8Bit().constData());
            return 1;
        }
        QStringList common{QStringLiteral("--port"), device.port};
        if (tick > 0) common << QStringLiteral("--tick-ms") << QString::number(tick);
        const QString backup = dir.filePath(QStringLiteral("backup-%1").arg(tick));
        const std::pair<const char*, QStringList> commands[] = {
            {"list", common + QStringList{QStringLiteral("list")}},
            {"backup", common + QStringList{QStringLiteral("backup"), backup}},
            {"apply", common + apply},
        };
        for (const auto& [name, arguments] : commands) {
            const Measure m = Run(arguments);
            const double line =
                static_cast<double>(m.bytes.toDevice + m.bytes.fromDevice) / bytesPerSecond;
            const double ratio = line > 0 ? m.wallSeconds / line : 0;
            if (tick == 0 && (m.code != 0 || ratio > kTarget)) met = false;
            std::printf("%-10s %-7s %9.2f %10lld %10lld %9.2f %7.3f%s\n",
                        tick == 0 ? "own" : "tick 100", name, m.wallSeconds, m.bytes.toDevice,
                        m.bytes.fromDevice, line, ratio, m.code == 0 ? "" : "  FAILED");
            std::fflush(stdout);
        }
    }
    std::printf("target: ratio at most %.2f at the tool's own pace: %s\n", kTarget,
                met ? "met" : "MISSED");
    return met ? 0 : 2;
}

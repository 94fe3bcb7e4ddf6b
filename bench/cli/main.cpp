// quillbank-cli against quillbank-devsim paced at the real line rate, with fifteen full
// slots (6144 bytes each): for list, backup and an apply of three certificates and a key
// with verification, the wall time, the line time of the bytes that crossed the line both
// ways (ten bits a byte: 7E1), and their ratio; first at the command-line tool's own pace
// (each step as soon as its answer is in), then at the window's 100 ms ticks. Target: each
// ratio at most 1.25 at the tool's own pace. Then eight devices at once: backup --all and a
// verified apply --all, each against the same command on one device in the same run.
// Target: eight take at most 1.15 times the time of one. Between them, a verified apply of
// four certificates onto the full device with the credential checks and without.
//
//   quillbank-bench-cli [--devsim PATH] [--baud RATE] [--devices N]

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

#include "CountingPorts.h"
#include "RunCli.h"
#include "SampleSet.h"

namespace {
constexpr double kTarget = 1.25;
constexpr double kManyTarget = 1.15;

// The simulated devices, listed as the device's ports (for --all).
class ListedDevices : public DeviceLister {
public:
    bool EnumerateComDevices(std::vector<ComDeviceInfo>& devices) override {
        devices.clear();
        for (const QString& location : locations) {
            ComDeviceInfo info;
            info.portName = QFileInfo(location).fileName();
            info.friendlyName = QStringLiteral("Simulated device (%1)").arg(info.portName);
            info.location = location;
            info.hardwareIds = {QString::fromUtf16(DEVICE_HARDWARE_ID)};
            devices.push_back(info);
        }
        return true;
    }
    QStringList locations;
};

// This process's peak resident memory, in MiB.
double PeakResidentMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').front().toDouble() / 1024.0;
    return 0;
}

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
    long long toDevice = 0;
    long long fromDevice = 0;
};

Measure Run(const QStringList& arguments, const QStringList& listed = {}) {
    CountingPorts ports;
    ListedDevices lister;
    lister.locations = listed;
    CliEnvironment environment{ports, lister};
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    const auto start = std::chrono::steady_clock::now();
    Measure m;
    m.code = RunCli(arguments, outStream, errStream, environment);
    m.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.toDevice = ports.count.toDevice;
    m.fromDevice = ports.count.fromDevice;
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
                static_cast<double>(m.toDevice + m.fromDevice) / bytesPerSecond;
            const double ratio = line > 0 ? m.wallSeconds / line : 0;
            if (tick == 0 && (m.code != 0 || ratio > kTarget)) met = false;
            std::printf("%-10s %-7s %9.2f %10lld %10lld %9.2f %7.3f%s\n",
                        tick == 0 ? "own" : "tick 100", name, m.wallSeconds, m.toDevice,
                        m.fromDevice, line, ratio, m.code == 0 ? "" : "  FAILED");
            std::fflush(stdout);
        }
    }
    std::printf("target: ratio at most %.2f at the tool's own pace: %s\n", kTarget,
                met ? "met" : "MISSED");

    // A verified apply of four certificates onto a full device, with the checks and
    // without: what the checks cost on the line beyond the job's own frames.
    {
        const QString full = dir.filePath(QStringLiteral("slots-four"));
        dir.mkpath(QStringLiteral("slots-four"));
        for (const QFileInfo& slot :
             QDir(dir.filePath(QStringLiteral("slots"))).entryInfoList(QDir::Files))
            QFile::copy(slot.filePath(), QDir(full).filePath(slot.fileName()));
        Device device;
        if (!device.Start(devsim, {QStringLiteral("--baud"), QString::number(baud),
                                   QStringLiteral("--folder"), full})) {
            std::fprintf(stderr, "cannot start %s\n", devsim.toLocal8Bit().constData());
            return 1;
        }
        QStringList slots;
        qsizetype bytes = 0;
        for (int i = 0; i < 4; ++i) {
            const QByteArray& certificate = sample[static_cast<size_t>(2 + i)];
            const QString path = dir.filePath(QStringLiteral("four%1").arg(i));
            WriteFile(path, certificate);
            bytes += certificate.size();
            slots << QStringLiteral("--slot") << QStringLiteral("%1=%2").arg(3 + i).arg(path);
        }
        std::printf("\napply of four certificates (%lld bytes) onto fifteen full slots, verified\n",
                    static_cast<long long>(bytes));
        std::printf("%-10s %9s %10s %10s %9s\n", "checks", "wall s", "to device", "from dev.",
                    "line s");
        for (const bool checks : {true, false}) {
            QStringList arguments{QStringLiteral("--port"), device.port, QStringLiteral("--yes"),
                                  QStringLiteral("apply")};
            if (!checks) arguments << QStringLiteral("--no-checks");
            const Measure m = Run(arguments + slots);
            const double line = static_cast<double>(m.toDevice + m.fromDevice) / bytesPerSecond;
            if (m.code != 0) met = false;
            std::printf("%-10s %9.2f %10lld %10lld %9.2f%s\n", checks ? "on" : "off", m.wallSeconds,
                        m.toDevice, m.fromDevice, line, m.code == 0 ? "" : "  FAILED");
            std::fflush(stdout);
        }
    }

    // Several devices at once, each a line of its own: against one of them alone.
    const int count = Argument(args, "--devices", QStringLiteral("8")).toInt();
    std::vector<std::unique_ptr<Device>> many;
    QStringList locations;
    for (int i = 0; i < count; ++i) {
        many.push_back(std::make_unique<Device>());
        if (!many.back()->Start(devsim, {QStringLiteral("--baud"), QString::number(baud),
                                         QStringLiteral("--folder"),
                                         dir.filePath(QStringLiteral("slots"))})) {
            std::fprintf(stderr, "cannot start %s\n", devsim.toLocal8Bit().constData());
            return 1;
        }
        locations << many.back()->port;
    }
    std::printf("\n%d devices at once against one, own pace\n", count);
    std::printf("%-7s %9s %9s %7s %s\n", "command", "one s", "many s", "ratio", "bytes both ways");
    bool manyMet = true;
    for (const char* name : {"backup", "apply"}) {
        const bool backup = std::string_view(name) == "backup";
        // apply verifies: every written slot is read back.
        const QStringList command = backup ? QStringList{QStringLiteral("backup")} : apply;
        QStringList oneArgs{QStringLiteral("--port"), locations.front()};
        QStringList manyArgs{QStringLiteral("--all")};
        oneArgs += command;
        manyArgs += command;
        if (backup) {
            oneArgs << dir.filePath(QStringLiteral("one"));
            manyArgs << dir.filePath(QStringLiteral("many"));
        }
        const Measure one = Run(oneArgs, locations);
        const Measure all = Run(manyArgs, locations);
        const double ratio = one.wallSeconds > 0 ? all.wallSeconds / one.wallSeconds : 0;
        if (one.code != 0 || all.code != 0 || ratio > kManyTarget) manyMet = false;
        std::printf("%-7s %9.2f %9.2f %7.3f %lld / %lld%s\n", name, one.wallSeconds,
                    all.wallSeconds, ratio, one.toDevice + one.fromDevice,
                    all.toDevice + all.fromDevice,
                    one.code == 0 && all.code == 0 ? "" : "  FAILED");
        std::fflush(stdout);
    }
    std::printf("peak resident memory: %.1f MiB\n", PeakResidentMiB());
    std::printf("target: %d devices in at most %.2f times one device's time: %s\n", count,
                kManyTarget, manyMet ? "met" : "MISSED");
    return met && manyMet ? 0 : 2;
}

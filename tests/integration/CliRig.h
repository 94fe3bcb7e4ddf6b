#pragma once
// quillbank-cli's commands run in-process (RunCli) against the simulated device on a pty,
// or against a scripted device behind a fake port, at the program's own pace.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <QTextStream>
#include <memory>

#include "LinkRig.h"
#include "RunCli.h"
#include "SimFaults.h"
#include "SimThread.h"
#include "fakes/FakeDeviceLister.h"
#include "fakes/ScriptedDevice.h"
#include "link/TermiosPort.h"

struct CliResult {
    int code = -1;
    QString out;
    QString err;
    QStringList Lines() const { return out.split(u'\n', Qt::SkipEmptyParts); }
};

// One command line run in-process over `ports` and `lister`.
inline CliResult RunIn(CommPortProvider& ports, DeviceLister& lister, const QStringList& arguments) {
    CliResult result;
    QTextStream out(&result.out), err(&result.err);
    CliEnvironment environment{ports, lister};
    result.code = RunCli(arguments, out, err, environment);
    out.flush();
    err.flush();
    return result;
}

class CliAgainstDevice : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    // Starts the device with slots 0 and 1 filled (or the sample set), `faults`, and
    // `slots` filled on top.
    bool StartDevice(std::vector<SimFault> faults = {},
                     SimOptions::Content content = SimOptions::Content::Empty,
                     const std::vector<std::pair<int, QByteArray>>& slots = {}) {
        if (sim) sim->Stop();  // its thread writes to the log
        SimOptions options;
        options.content = content;
        options.faults = std::move(faults);
        deviceLog.clear();
        options.log = [this](const QString& line) { deviceLog << line; };
        sim = std::make_unique<SimThread>(std::move(options));
        if (content == SimOptions::Content::Empty) {
            sim->device.SetSlot(0, Pattern(500, 0));
            sim->device.SetSlot(1, Pattern(1218, 1));
        }
        return sim->Start([&slots](DeviceSimulator& device) {
            for (const auto& [slot, bytes] : slots) device.SetSlot(slot, bytes);
        });
    }
    QString Port() const { return sim->device.PortPath(); }
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    CliResult Run(QStringList arguments) { return RunIn(ports, lister, arguments); }
    CliResult RunOnPort(QStringList arguments) {
        return Run(QStringList{QStringLiteral("--port"), Port()} + arguments);
    }

    QTemporaryDir dir;
    TermiosPortProvider ports;
    FakeDeviceLister lister;
    std::unique_ptr<SimThread> sim;
    QStringList deviceLog;  // every frame and fault of the device; read after sim->Stop()
};

// A port whose far side is a scripted device that answers each frame as it is written.
class ScriptedPorts : public CommPortProvider {
public:
    std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
    ScriptedDevice device{line};

    std::unique_ptr<CommPort> Open(const QString&) override {
        line->closed = false;
        return std::make_unique<ServedPort>(line, device);
    }

private:
    class ServedPort : public FakeCommPort {
    public:
        ServedPort(std::shared_ptr<FakeLine> line, ScriptedDevice& device)
            : FakeCommPort(std::move(line)), m_device(device) {}
        void Write(const char* data, int length) override {
            FakeCommPort::Write(data, length);
            m_device.Serve();
        }

    private:
        ScriptedDevice& m_device;
    };
};

inline CliResult RunScripted(ScriptedPorts& ports, QStringList arguments) {
    FakeDeviceLister lister;
    CliEnvironment environment{ports, lister};
    CliResult result;
    QTextStream out(&result.out), err(&result.err);
    result.code =
        RunCli(QStringList{QStringLiteral("--port"), QStringLiteral("scripted")} + arguments, out,
               err, environment);
    out.flush();
    err.flush();
    return result;
}

inline ComDeviceInfo Device(const QString& location) {
    ComDeviceInfo d;
    d.portName = QStringLiteral("ttyACM0");
    d.friendlyName = QStringLiteral("Field Device (ttyACM0)");
    d.location = location;
    d.hardwareIds = {QString::fromUtf16(DEVICE_HARDWARE_ID)};
    return d;
}

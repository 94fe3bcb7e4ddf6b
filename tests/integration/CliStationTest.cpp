// quillbank-cli on several simulated devices at once, in-process: each device's outcome is
// its own whatever the others do, backups of several go one folder per device and come
// back to the same devices, per-device jobs reach only the devices they name, and the
// journal holds exactly the operations that were done.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <map>

#include "CliRig.h"
#include "SampleSet.h"
#include "certs/SlotFacts.h"

namespace {

SimFault On(FaultKind kind, int command, int slot, int times = 1) {
    return Fault(kind, slot, 0, times, command);
}

QJsonArray DevicesOf(const CliResult& r) {
    return QJsonDocument::fromJson(r.out.toUtf8()).object().value(QStringLiteral("devices")).toArray();
}

class Station : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QString error;
        ASSERT_TRUE(MakeSampleSlots(sample, error)) << error.toStdString();
        ASSERT_TRUE(WriteAll(Path("server.crt"), sample[0]));
        ASSERT_TRUE(WriteAll(Path("server.key"), sample[1]));
        ASSERT_TRUE(WriteAll(Path("ca.crt"), sample[5]));
    }
    void TearDown() override { StopAll(); }

    // Starts one device per entry of `faults`, with serial number `serials[i]` ("" for none)
    // and `content`; an empty device holds patterns in slots 0 and 1. The port list names
    // them last first, so that the run has to put them in port order.
    bool StartDevices(const std::vector<std::vector<SimFault>>& faults,
                      const QStringList& serials,
                      SimOptions::Content content = SimOptions::Content::Empty) {
        StopAll();
        sims.clear();
        lister.devices.clear();
        for (size_t i = 0; i < faults.size(); ++i) {
            SimOptions options;
            options.content = content;
            options.faults = faults[i];
            auto sim = std::make_unique<SimThread>(std::move(options));
            if (content == SimOptions::Content::Empty) {
                sim->device.SetSlot(0, Pattern(500, 0));
                sim->device.SetSlot(1, Pattern(1218, 1));
            }
            if (!sim->Start()) return false;
            ComDeviceInfo listed = Device(sim->device.PortPath());
            listed.serialNumber = serials.value(static_cast<qsizetype>(i));
            lister.devices.insert(lister.devices.begin(), listed);
            sims.push_back(std::move(sim));
        }
        return true;
    }
    void StopAll() {
        for (auto& sim : sims) sim->Stop();
    }
    QString Port(size_t i) const { return sims[i]->device.PortPath(); }
    QString Label(size_t i) const { return Port(i).mid(5); }  // pts/N
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    CliResult Run(const QStringList& arguments) { return RunIn(ports, lister, arguments); }
    QStringList Apply() const {
        return {QStringLiteral("--yes"),
                QStringLiteral("--timeout"),
                QStringLiteral("1"),
                QStringLiteral("--all"),
                QStringLiteral("apply"),
                QStringLiteral("--slot"),
                QStringLiteral("0=") + Path("server.crt"),
                QStringLiteral("--slot"),
                QStringLiteral("1=") + Path("server.key"),
                QStringLiteral("--slot"),
                QStringLiteral("2=") + Path("ca.crt"),
                QStringLiteral("--remove"),
                QStringLiteral("5")};
    }
    // The JSON item of device `i`.
    QJsonObject ItemOf(const CliResult& r, size_t i) const {
        for (const QJsonValue& item : DevicesOf(r))
            if (item.toObject().value(QStringLiteral("port")).toString() == Port(i))
                return item.toObject();
        return {};
    }

    QTemporaryDir dir;
    std::array<QByteArray, SLOT_COUNT> sample;
    TermiosPortProvider ports;
    FakeDeviceLister lister;
    std::vector<std::unique_ptr<SimThread>> sims;
};

}  // namespace

// A refusing, an unplugged and a silent device fail on their own; the others finish and
// verify, and the exit code is that of the first failed device in port order.
TEST_F(Station, EachDeviceEndsOnItsOwn) {
    using K = FaultKind;
    struct Case {
        const char* name;
        std::vector<std::vector<SimFault>> faults;
        std::vector<int> codes;
        int code;
    };
    const Case cases[] = {
        {"all succeed", {{}, {}, {}}, {0, 0, 0}, CLI_OK},
        {"refused piece, unplugged, silent",
         {{}, {On(K::RefuseWrite, 9130, 1)}, {On(K::Vanish, 9130, 2)}, {Fault(K::NoAnswer, -1, 0, -1)}},
         {CLI_OK, CLI_REFUSED, CLI_CONNECTION_LOST, CLI_TIMEOUT},
         CLI_REFUSED},
        {"only the last fails", {{}, {}, {On(K::Vanish, 9130, 0)}}, {0, 0, CLI_CONNECTION_LOST},
         CLI_CONNECTION_LOST},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(StartDevices(c.faults, {}));
        const CliResult r = Run(QStringList{QStringLiteral("--json")} + Apply());
        EXPECT_EQ(r.code, c.code) << r.err.toStdString();
        const QJsonArray devices = DevicesOf(r);
        ASSERT_EQ(devices.size(), static_cast<qsizetype>(sims.size())) << r.out.toStdString();
        // In port order, whatever order the system listed them in.
        for (size_t i = 0; i < sims.size(); ++i)
            EXPECT_EQ(devices[static_cast<qsizetype>(i)].toObject().value(QStringLiteral("port")).toString(),
                      Port(i));
        StopAll();
        for (size_t i = 0; i < sims.size(); ++i) {
            SCOPED_TRACE(i);
            const QJsonObject item = ItemOf(r, i);
            EXPECT_EQ(item.value(QStringLiteral("exitCode")).toInt(), c.codes[i]);
            EXPECT_EQ(item.value(QStringLiteral("error")).isNull(), c.codes[i] == CLI_OK);
            if (c.codes[i] != CLI_OK) continue;
            for (const QJsonValue& slot : item.value(QStringLiteral("slots")).toArray())
                EXPECT_EQ(slot.toObject().value(QStringLiteral("status")).toString(),
                          QStringLiteral("done"));
            EXPECT_EQ(sims[i]->device.Slot(0), sample[0]);
            EXPECT_EQ(sims[i]->device.Slot(1), sample[1]);
            EXPECT_EQ(sims[i]->device.Slot(2), sample[5]);
            EXPECT_TRUE(sims[i]->device.Slot(5).isEmpty());
            EXPECT_TRUE(sims[i]->device.FrameErrors().isEmpty());
        }
    }
}

// Text: every line of a device carries its port name; the table names each outcome.
TEST_F(Station, TextLinesCarryThePortAndEndWithATable) {
    ASSERT_TRUE(StartDevices({{}, {On(FaultKind::RefuseWrite, 9130, 1)}}, {QStringLiteral("SN-1")}));
    const CliResult r = Run(Apply());
    EXPECT_EQ(r.code, CLI_REFUSED);
    const QStringList lines = r.Lines();
    ASSERT_EQ(lines.size(), 4 + 4 + 3) << r.out.toStdString();
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(lines[i].startsWith(Label(0) + QStringLiteral(":  ")) ||
                    lines[i].startsWith(Label(1) + QStringLiteral(":  ")))
            << lines[i].toStdString();
    EXPECT_TRUE(lines.contains(Label(1) + QStringLiteral(":  2  write  ") + Path("ca.crt") +
                               QStringLiteral(" (%1 bytes, sha256 %2): not attempted")
                                   .arg(sample[5].size())
                                   .arg(Sha256Hex(sample[5]))));
    EXPECT_TRUE(lines[8].startsWith(QStringLiteral("port")));
    EXPECT_TRUE(lines[9].contains(QRegularExpression(QStringLiteral("^%1 +SN-1 +done +[0-9.]+ s$")
                                                         .arg(QRegularExpression::escape(Label(0))))))
        << lines[9].toStdString();
    EXPECT_TRUE(lines[10].contains(QRegularExpression(
        QStringLiteral("^%1 +- +failed \\(6\\) +[0-9.]+ s +the device refused a piece for slot 1$")
            .arg(QRegularExpression::escape(Label(1))))))
        << lines[10].toStdString();
    EXPECT_TRUE(r.err.contains(Label(1) + QStringLiteral(": quillbank-cli: the device refused a piece for slot 1")))
        << r.err.toStdString();
}

// A backup of several puts each device in a folder named after its serial number, or its
// port; a restore of that backup gives each device its own, and leaves alone a device it
// holds nothing for.
TEST_F(Station, BackupOfSeveralComesBackToTheSameDevices) {
    const QStringList serials{QStringLiteral("SN-A"), QString(), QStringLiteral("SN/C")};
    ASSERT_TRUE(StartDevices({{}, {}, {}}, serials, SimOptions::Content::Sample));
    const QString folder = Path("station");
    const CliResult backup = Run({QStringLiteral("--all"), QStringLiteral("backup"), folder});
    ASSERT_EQ(backup.code, CLI_OK) << backup.err.toStdString();
    StopAll();
    std::vector<std::array<QByteArray, SLOT_COUNT>> held(3);
    for (size_t i = 0; i < 3; ++i)
        for (int slot = 0; slot < SLOT_COUNT; ++slot)
            held[i][static_cast<size_t>(slot)] = sims[i]->device.Slot(slot);
    const QString portFolder = QString(Label(1)).replace(u'/', u'_');
    QStringList folders = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    folders.sort();
    EXPECT_EQ(folders, (QStringList{QStringLiteral("SN-A"), QStringLiteral("SN_C"), portFolder}));
    EXPECT_EQ(ReadAll(folder + QStringLiteral("/SN_C/00-server.crt")), held[2][0]);
    EXPECT_EQ(ReadAll(folder + u'/' + portFolder + QStringLiteral("/01-server.key")), held[1][1]);

    // Fresh devices: the two with serial numbers are found again; the third is on another
    // port, as the first ones keep theirs open.
    const std::vector<std::unique_ptr<SimThread>> first = std::move(sims);
    sims.clear();
    ASSERT_TRUE(StartDevices({{}, {}, {}}, serials));
    const CliResult restore =
        Run({QStringLiteral("--yes"), QStringLiteral("--json"), QStringLiteral("--all"),
             QStringLiteral("--exact"), QStringLiteral("restore"), folder});
    EXPECT_EQ(restore.code, CLI_NOT_IN_JOB) << restore.err.toStdString();
    StopAll();
    for (const size_t i : {size_t{0}, size_t{2}}) {
        EXPECT_EQ(ItemOf(restore, i).value(QStringLiteral("exitCode")).toInt(), CLI_OK);
        for (int slot = 0; slot < SLOT_COUNT; ++slot)
            EXPECT_EQ(sims[i]->device.Slot(slot), held[i][static_cast<size_t>(slot)]) << i << slot;
    }
    EXPECT_EQ(ItemOf(restore, 1).value(QStringLiteral("exitCode")).toInt(), CLI_NOT_IN_JOB);
    EXPECT_EQ(sims[1]->device.Slot(0), Pattern(500, 0));
    EXPECT_TRUE(sims[1]->device.FrameErrors().isEmpty());
}

// A manifest that maps devices: each named device gets its own slots; a device it does not
// name and one it names that is not plugged in are reported and nothing reaches them.
TEST_F(Station, PerDeviceJobsReachOnlyTheDevicesTheyName) {
    ASSERT_TRUE(StartDevices({{}, {}, {}}, {QStringLiteral("SN-A"), QString(), QStringLiteral("SN-C")}));
    const QJsonObject job{
        {QStringLiteral("version"), 1},
        {QStringLiteral("devices"),
         QJsonArray{QJsonObject{{QStringLiteral("serialNumber"), QStringLiteral("SN-A")},
                                {QStringLiteral("slots"),
                                 QJsonArray{QJsonObject{{QStringLiteral("slot"), 0},
                                                        {QStringLiteral("file"), QStringLiteral("server.crt")}},
                                            QJsonObject{{QStringLiteral("slot"), 1},
                                                        {QStringLiteral("file"), QStringLiteral("server.key")}}}}},
                    QJsonObject{{QStringLiteral("port"), Port(1)},
                                {QStringLiteral("slots"),
                                 QJsonArray{QJsonObject{{QStringLiteral("slot"), 2},
                                                        {QStringLiteral("file"), QStringLiteral("ca.crt")}}}}},
                    QJsonObject{{QStringLiteral("serialNumber"), QStringLiteral("SN-Z")},
                                {QStringLiteral("slots"), QJsonArray{}}}}}};
    ASSERT_TRUE(WriteAll(Path("job.json"), QJsonDocument(job).toJson()));
    const CliResult r = Run({QStringLiteral("--yes"), QStringLiteral("--json"), QStringLiteral("--all"),
                             QStringLiteral("apply"), Path("job.json")});
    EXPECT_EQ(r.code, CLI_NOT_IN_JOB) << r.err.toStdString();
    StopAll();
    const QJsonArray devices = DevicesOf(r);
    ASSERT_EQ(devices.size(), 4);
    EXPECT_EQ(ItemOf(r, 0).value(QStringLiteral("exitCode")).toInt(), CLI_OK);
    EXPECT_EQ(ItemOf(r, 1).value(QStringLiteral("exitCode")).toInt(), CLI_OK);
    EXPECT_EQ(ItemOf(r, 2).value(QStringLiteral("exitCode")).toInt(), CLI_NOT_IN_JOB);
    const QJsonObject absent = devices[3].toObject();
    EXPECT_EQ(absent.value(QStringLiteral("serialNumber")).toString(), QStringLiteral("SN-Z"));
    EXPECT_TRUE(absent.value(QStringLiteral("port")).isNull());
    EXPECT_EQ(absent.value(QStringLiteral("exitCode")).toInt(), CLI_NOT_IN_JOB);
    EXPECT_EQ(sims[0]->device.Slot(0), sample[0]);
    EXPECT_EQ(sims[0]->device.Slot(1), sample[1]);
    EXPECT_TRUE(sims[0]->device.Slot(2).isEmpty());
    EXPECT_EQ(sims[1]->device.Slot(2), sample[5]);
    EXPECT_EQ(sims[1]->device.Slot(0), Pattern(500, 0));
    EXPECT_EQ(sims[2]->device.Slot(0), Pattern(500, 0));
    EXPECT_EQ(sims[2]->device.FramesReceived(), 0);
}

// The journal holds one whole line per slot operation that was attempted and one per
// device, with what each slot held before and after.
TEST_F(Station, JournalHoldsExactlyTheOperationsDone) {
    ASSERT_TRUE(StartDevices({{}, {On(FaultKind::RefuseWrite, 9130, 1)}}, {QStringLiteral("SN-0")}));
    const QString journal = Path("journal.jsonl");
    const CliResult r = Run(QStringList{QStringLiteral("--journal"), journal} + Apply());
    EXPECT_EQ(r.code, CLI_REFUSED) << r.err.toStdString();
    StopAll();
    std::map<QString, QStringList> records;  // port -> "slot action outcome" / "device N"
    const QList<QByteArray> lines = ReadAll(journal).split('\n');
    ASSERT_TRUE(lines.back().isEmpty());
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        QJsonParseError error;
        const QJsonObject line = QJsonDocument::fromJson(lines[i], &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << lines[i].toStdString();
        for (const char* key : {"time", "host", "version", "port", "serialNumber", "command"})
            EXPECT_TRUE(line.contains(QLatin1String(key))) << key;
        const QString port = line.value(QStringLiteral("port")).toString();
        if (line.value(QStringLiteral("record")).toString() == QLatin1String("device")) {
            records[port] << QStringLiteral("device %1").arg(line.value(QStringLiteral("exitCode")).toInt());
            continue;
        }
        const int slot = line.value(QStringLiteral("slot")).toInt();
        records[port] << QStringLiteral("%1 %2 %3").arg(slot).arg(
            line.value(QStringLiteral("action")).toString(), line.value(QStringLiteral("outcome")).toString());
        if (port == Port(0) && slot == 1) {
            EXPECT_EQ(line.value(QStringLiteral("sha256Before")).toString(), Sha256Hex(Pattern(1218, 1)));
            EXPECT_EQ(line.value(QStringLiteral("sha256After")).toString(), Sha256Hex(sample[1]));
            EXPECT_TRUE(line.value(QStringLiteral("verified")).toBool());
            EXPECT_EQ(line.value(QStringLiteral("serialNumber")).toString(), QStringLiteral("SN-0"));
        }
        if (port == Port(1) && slot == 1) {
            EXPECT_TRUE(line.value(QStringLiteral("sha256After")).isNull());
            EXPECT_EQ(line.value(QStringLiteral("reason")).toString(),
                      QStringLiteral("the device refused a piece for slot 1"));
        }
    }
    EXPECT_EQ(records[Port(0)], (QStringList{QStringLiteral("0 write done"), QStringLiteral("1 write done"),
                                             QStringLiteral("2 write done"), QStringLiteral("5 remove done"),
                                             QStringLiteral("device 0")}));
    EXPECT_EQ(records[Port(1)], (QStringList{QStringLiteral("0 write done"), QStringLiteral("1 write failed"),
                                             QStringLiteral("device 6")}));
}

// What a run of several devices refuses before any port is opened.
TEST_F(Station, BadRunsAreRefusedBeforeAnyPortIsOpened) {
    ASSERT_TRUE(StartDevices({{}, {}}, {}));
    ASSERT_EQ(::symlink(Path("elsewhere").toLocal8Bit().constData(),
                        Path("linked.jsonl").toLocal8Bit().constData()),
              0);
    struct Case {
        QStringList arguments;
        int code;
        const char* says;
    };
    const QString a = Port(0), b = Port(1);
    const Case cases[] = {
        {{QStringLiteral("--all"), QStringLiteral("read"), QStringLiteral("1"), Path("x")},
         CLI_USAGE, "--all does not go with read"},
        {{QStringLiteral("--port"), a, QStringLiteral("--port"), b, QStringLiteral("remove"), QStringLiteral("1")},
         CLI_USAGE, "remove takes one --port"},
        {{QStringLiteral("--all"), QStringLiteral("--port"), a, QStringLiteral("list")},
         CLI_USAGE, "--all and --port exclude each other"},
        {{QStringLiteral("--port"), a, QStringLiteral("--port"), a, QStringLiteral("list")},
         CLI_USAGE, "is given twice"},
        {{QStringLiteral("--all"), QStringLiteral("apply"), QStringLiteral("--slot"), QStringLiteral("0=") + Path("none")},
         CLI_LOCAL_FILE, "no such file"},
        {{QStringLiteral("--all"), QStringLiteral("--journal"), Path("linked.jsonl"), QStringLiteral("list")},
         CLI_LOCAL_FILE, "is a symbolic link"},
        {{QStringLiteral("--all"), QStringLiteral("restore"), Path("nothing")},
         CLI_LOCAL_FILE, "nor in a folder named after one of the devices"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const CliResult r = Run(c.arguments);
        EXPECT_EQ(r.code, c.code);
        EXPECT_TRUE(r.err.contains(QLatin1String(c.says))) << r.err.toStdString();
    }
    lister.devices.clear();
    const CliResult none = Run({QStringLiteral("--all"), QStringLiteral("list")});
    EXPECT_EQ(none.code, CLI_NO_DEVICE);
    StopAll();
    for (const auto& sim : sims) EXPECT_EQ(sim->device.FramesReceived(), 0);
    EXPECT_FALSE(QFileInfo::exists(Path("elsewhere")));
}

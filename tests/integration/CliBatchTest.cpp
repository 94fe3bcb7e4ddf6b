// apply, backup, restore and check in-process against the simulated device on a pty: what
// they do to the device and to local files, how every fault the simulator can inject ends
// them, and what they refuse before a port is opened.

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <array>

#include "CliRig.h"
#include "SampleSet.h"
#include "fakes/FakeCommPort.h"

namespace {

QJsonObject JsonOf(const CliResult& r) {
    return QJsonDocument::fromJson(r.out.toUtf8()).object();
}
QJsonArray SlotsOf(const CliResult& r) {
    return JsonOf(r).value(QStringLiteral("slots")).toArray();
}
QStringList Column(const QJsonArray& entries, const char* key) {
    QStringList values;
    for (const QJsonValue& entry : entries)
        values << entry.toObject().value(QLatin1String(key)).toVariant().toString();
    return values;
}
QStringList Texts(std::initializer_list<const char*> texts) {
    QStringList list;
    for (const char* text : texts) list << QString::fromLatin1(text);
    return list;
}
// A command line written as one text; "@" stands for `folder` and a slash.
QStringList Args(const char* line, const QString& folder) {
    return QString::fromLatin1(line).replace(u'@', folder + u'/').split(u' ');
}
QString Sha256(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// Descriptors of this process still open on a file under `folder`.
int OpenFilesUnder(const QString& folder) {
    int open = 0;
    for (const QString& fd :
         QDir(QStringLiteral("/proc/self/fd"))
             .entryList(QDir::System | QDir::AllEntries | QDir::NoDotAndDotDot)) {
        char target[4096] = {};
        const QByteArray link = QFile::encodeName(QStringLiteral("/proc/self/fd/") + fd);
        if (::readlink(link.constData(), target, sizeof target - 1) > 0 &&
            QString::fromLocal8Bit(target).startsWith(folder))
            ++open;
    }
    return open;
}

unsigned CurrentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

SimFault On(FaultKind kind, int command, int slot, int times = 1) {
    return Fault(kind, slot, 0, times, command);
}

class CliBatch : public CliAgainstDevice {
protected:
    void SetUp() override {
        CliAgainstDevice::SetUp();
        QString error;
        ASSERT_TRUE(MakeSampleSlots(sample, error)) << error.toStdString();
        ASSERT_TRUE(WriteAll(Path("server.crt"), sample[0]));
        ASSERT_TRUE(WriteAll(Path("server.key"), sample[1]));
        ASSERT_TRUE(WriteAll(Path("ca.crt"), sample[5]));
    }
    // Writes three files into slots 0-2 and removes slot 5.
    QStringList Apply(const QStringList& extra = {}) const {
        return Args(
                   "--yes --json apply --slot 0=@server.crt --slot 1=@server.key "
                   "--slot 2=@ca.crt --remove 5",
                   dir.path()) +
               extra;
    }
    // Backs up a device holding the sample set into `folder`; its slots as they were.
    std::array<QByteArray, SLOT_COUNT> BackUpSample(const QString& folder) {
        std::array<QByteArray, SLOT_COUNT> held;
        EXPECT_TRUE(StartDevice({}, SimOptions::Content::Sample));
        const CliResult backup = RunOnPort({QStringLiteral("backup"), folder});
        EXPECT_EQ(backup.code, CLI_OK) << backup.err.toStdString();
        sim->Stop();
        for (int slot = 0; slot < SLOT_COUNT; ++slot)
            held[static_cast<size_t>(slot)] = sim->device.Slot(slot);
        return held;
    }
    int ReadFrames() const {
        return static_cast<int>(deviceLog.filter(QStringLiteral("<- CMD:9030")).size());
    }

    std::array<QByteArray, SLOT_COUNT> sample;
};

TEST_F(CliBatch, ApplyWritesRemovesAndReadsEachWrittenSlotBackUnlessTold) {
    for (const bool verify : {true, false}) {
        SCOPED_TRACE(verify ? "verified" : "--no-verify");
        ASSERT_TRUE(StartDevice({}, SimOptions::Content::Empty, {{5, Pattern(100, 5)}}));
        const CliResult r =
            RunOnPort(Apply(verify ? QStringList{} : QStringList{QStringLiteral("--no-verify")}));
        ASSERT_EQ(r.code, CLI_OK) << r.err.toStdString();
        const QJsonArray slots = SlotsOf(r);
        EXPECT_EQ(Column(slots, "slot"), (Texts({"0", "1", "2", "5"})));
        EXPECT_EQ(Column(slots, "status"), (Texts({"done", "done", "done", "done"})));
        const QString v = verify ? QStringLiteral("true") : QStringLiteral("false");
        EXPECT_EQ(Column(slots, "verified"), (QStringList{v, v, v, QStringLiteral("false")}));
        EXPECT_EQ(Column(slots, "sha256")[1], Sha256(sample[1]));
        sim->Stop();
        EXPECT_EQ(sim->device.Slot(0), sample[0]);
        EXPECT_EQ(sim->device.Slot(1), sample[1]);
        EXPECT_EQ(sim->device.Slot(2), sample[5]);
        EXPECT_TRUE(sim->device.Slot(5).isEmpty());
        // With --yes nothing is loaded: every read is a verification, one piece a slot and
        // two for the key.
        EXPECT_EQ(ReadFrames(), verify ? 4 : 0);
        EXPECT_TRUE(sim->device.FrameErrors().isEmpty());
    }
}

// Every fault the simulator can inject, during apply: a defined outcome for each slot, the
// exit code of the first failure, and no local file left open.
TEST_F(CliBatch, FaultsDuringApplyEndEachSlotWithADefinedOutcome) {
    using K = FaultKind;
    struct Case {
        const char* name;
        SimFault fault;
        int code;
        const char* statuses;  // slots 0, 1, 2, 5: done, failed, - not attempted
        QStringList extra;
    };
    const QStringList quick{QStringLiteral("--timeout"), QStringLiteral("1")};
    const Case cases[] = {
        {"refused piece", On(K::RefuseWrite, 9130, 1), CLI_REFUSED, "done failed - -", {}},
        {"refused piece, keep going",
         On(K::RefuseWrite, 9130, 1),
         CLI_REFUSED,
         "done failed done done",
         {QStringLiteral("--keep-going")}},
        {"refused open", On(K::RefuseOpen, 9330, 2), CLI_REFUSED, "done done failed -", {}},
        {"refused remove", On(K::RefuseRemove, 9530, 5), CLI_REFUSED, "done done done failed", {}},
        {"stored wrongly",
         On(K::CorruptStore, 9130, 1),
         CLI_VERIFY_MISMATCH,
         "done failed - -",
         {}},
        {"odd data read back", On(K::OddData, 9030, 0), CLI_REFUSED, "failed - - -", {}},
        {"long data read back", On(K::LongData, 9030, 2), CLI_REFUSED, "done done failed -", {}},
        {"bad checksum", On(K::BadChecksum, 9130, 1, -1), CLI_TIMEOUT, "done failed - -", quick},
        {"silence", On(K::NoAnswer, 9430, 0), CLI_TIMEOUT, "failed - - -", quick},
        {"vanish", On(K::Vanish, 9130, 2), CLI_CONNECTION_LOST, "done done failed -", {}},
        {"split answers", On(K::SplitAnswer, -1, -1, -1), CLI_OK, "done done done done", {}},
        {"garbage", On(K::Garbage, -1, -1, -1), CLI_OK, "done done done done", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(StartDevice({c.fault}));
        const CliResult r = RunOnPort(quick + Apply(c.extra));
        EXPECT_EQ(r.code, c.code) << r.err.toStdString();
        const QString statuses = Column(SlotsOf(r), "status").join(u' ');
        EXPECT_EQ(QString(statuses)
                      .replace(QStringLiteral("not attempted"), QStringLiteral("-"))
                      .toStdString(),
                  c.statuses);
        EXPECT_EQ(r.code == CLI_OK, r.err.isEmpty()) << r.err.toStdString();
        EXPECT_EQ(OpenFilesUnder(dir.path()), 0);
        sim->Stop();
    }
}

TEST_F(CliBatch, BackupAndRestoreRoundTrip) {
    const QString folder = Path("backup");
    const std::array<QByteArray, SLOT_COUNT> original = BackUpSample(folder);
    const QByteArray text = ReadAll(folder + QStringLiteral("/manifest.json"));
    const QJsonArray entries =
        QJsonDocument::fromJson(text).object().value(QStringLiteral("slots")).toArray();
    ASSERT_EQ(entries.size(), SLOT_COUNT);
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        const QJsonObject entry = entries[slot].toObject();
        const QByteArray& bytes = original[static_cast<size_t>(slot)];
        EXPECT_EQ(entry.value(QStringLiteral("slot")).toInt(), slot);
        EXPECT_EQ(entry.value(QStringLiteral("size")).toInt(), bytes.size());
        if (bytes.isEmpty()) {
            EXPECT_FALSE(entry.contains(QStringLiteral("file"))) << slot;
            continue;
        }
        const QString file = folder + u'/' + entry.value(QStringLiteral("file")).toString();
        EXPECT_EQ(ReadAll(file), bytes) << slot;
        EXPECT_EQ(entry.value(QStringLiteral("sha256")).toString(), Sha256(bytes));
        EXPECT_EQ(entry.value(QStringLiteral("expires")).isNull(), slot == SLOT_SERVER_KEY) << slot;
        struct stat info {};
        ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &info), 0);
        const unsigned expected = slot == SLOT_SERVER_KEY ? 0600u : (0666u & ~CurrentUmask());
        EXPECT_EQ(info.st_mode & 0777, expected) << "the key is its owner's only";
    }

    // A device holding other things: restore puts the backup back, and --exact also erases
    // what the backup did not hold.
    for (const bool exact : {false, true}) {
        SCOPED_TRACE(exact ? "--exact" : "without --exact");
        ASSERT_TRUE(StartDevice({}, SimOptions::Content::Empty, {{9, Pattern(42, 9)}}));
        QStringList args{QStringLiteral("--yes"), QStringLiteral("restore"), folder};
        if (exact) args << QStringLiteral("--exact");
        const CliResult r = RunOnPort(args);
        EXPECT_EQ(r.code, CLI_OK) << r.err.toStdString();
        EXPECT_EQ(r.Lines().filter(QStringLiteral("done, verified")).size(), 6)
            << r.out.toStdString();
        sim->Stop();
        for (int slot = 0; slot < SLOT_COUNT; ++slot)
            EXPECT_EQ(sim->device.Slot(slot),
                      slot == 9 && !exact ? Pattern(42, 9) : original[static_cast<size_t>(slot)])
                << slot;
    }
}

// Faults while the device is read for a backup leave nothing behind; faults while it is
// restored end with the code of the first failure.
TEST_F(CliBatch, FaultsDuringBackupAndRestoreEndWithADefinedOutcome) {
    const QString folder = Path("backup");
    BackUpSample(folder);
    struct Case {
        const char* name;
        QString command;
        SimFault fault;
        int code;
    };
    const Case cases[] = {
        {"backup, vanish", QStringLiteral("backup"), On(FaultKind::Vanish, 9030, 3),
         CLI_CONNECTION_LOST},
        {"backup, odd data", QStringLiteral("backup"), On(FaultKind::OddData, 9030, 2),
         CLI_REFUSED},
        {"backup, silence", QStringLiteral("backup"), On(FaultKind::NoAnswer, 9030, 4),
         CLI_TIMEOUT},
        {"restore, refused piece", QStringLiteral("restore"), On(FaultKind::RefuseWrite, 9130, 1),
         CLI_REFUSED},
        {"restore, stored wrongly", QStringLiteral("restore"), On(FaultKind::CorruptStore, 9130, 3),
         CLI_VERIFY_MISMATCH},
        {"restore, vanish", QStringLiteral("restore"), On(FaultKind::Vanish, 9330, 2),
         CLI_CONNECTION_LOST},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(StartDevice({c.fault}, SimOptions::Content::Sample));
        const QString target = c.command == QLatin1String("backup") ? Path("partial") : folder;
        const CliResult r = RunOnPort({QStringLiteral("--yes"), QStringLiteral("--timeout"),
                                       QStringLiteral("1"), c.command, target});
        EXPECT_EQ(r.code, c.code) << r.err.toStdString();
        EXPECT_FALSE(r.err.isEmpty());
        if (c.command == QLatin1String("backup")) {
            EXPECT_TRUE(
                QDir(target).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
        }
        EXPECT_EQ(OpenFilesUnder(dir.path()), 0);
        sim->Stop();
    }
}

TEST_F(CliBatch, CheckNamesTheCertificatesThatExpireWithinTheDays) {
    ASSERT_TRUE(StartDevice({}, SimOptions::Content::Sample));
    // The sample set: slot 4 expires in 180 days, the others later; slot 1 is the key.
    const CliResult soon = RunOnPort({QStringLiteral("--json"), QStringLiteral("check"),
                                      QStringLiteral("--days"), QStringLiteral("200")});
    EXPECT_EQ(soon.code, CLI_EXPIRING) << soon.err.toStdString();
    const QJsonArray certificates = JsonOf(soon).value(QStringLiteral("certificates")).toArray();
    EXPECT_EQ(Column(certificates, "slot"), (Texts({"0", "2", "3", "4", "5"})));
    EXPECT_EQ(Column(certificates, "status"), (Texts({"ok", "ok", "ok", "expiring", "ok"})));
    EXPECT_TRUE(soon.err.contains(QStringLiteral("1 certificate(s)")));

    const CliResult later = RunOnPort({QStringLiteral("check")});
    EXPECT_EQ(later.code, CLI_OK) << later.err.toStdString();
    EXPECT_EQ(later.Lines().size(), 5);
    EXPECT_TRUE(later.Lines()[3].startsWith(QStringLiteral(" 4  Certificate 3  expires ")));
}

// Nothing is opened, and nothing sent, for a command whose inputs do not hold.
TEST_F(CliBatch, BadInputsAreRefusedBeforeAPortIsOpened) {
    ASSERT_TRUE(WriteAll(Path("big.crt"), Pattern(SLOT_BUFFER_SIZE + 1, 0)));
    ASSERT_TRUE(QDir().mkpath(Path("full/sub")));
    ASSERT_TRUE(QDir().mkpath(Path("empty")));
    const std::pair<const char*, QByteArray> manifests[] = {
        {"m1.json", R"({"slots": [)"},
        {"m2.json", R"({"slots":[{"slot":0,"colour":1}]})"},
        {"m3.json", R"({"slots":[{"slot":"0"}]})"},
        {"m4.json", R"({"slots":[{"slot":15,"file":"ca.crt"}]})"},
        {"m5.json", R"({"slots":[{"slot":1},{"slot":1}]})"},
        {"m6.json", R"({"slots":[{"slot":0,"file":"absent.crt"}]})"},
        {"m7.json",
         R"({"slots":[{"slot":0,"file":"ca.crt","sha256":")" + QByteArray(64, 'a') + R"("}]})"},
        // A field name that would start a line of its own, as if the slot were written.
        {"m8.json", R"({"slots":[{"slot":0,"x\nquillbank-cli: slot 0 written":1}]})"},
        // A number no qint64 holds (converting it would be undefined).
        {"m9.json", R"({"slots":[{"slot":1e300}]})"},
        // A key given twice, which a JSON reader would quietly take the last of.
        {"d1.json", R"({"slots":[{"slot":0,"slot":1}]})"},
        {"d2.json", R"({"slots":[],"version":1,"slots":[{"slot":0}]})"},
        {"d3.json", R"({"slots":[{"slot":0,"label":{"x\u2028y":[{"b":1,"b":2}]}}]})"},
        {"d4.json", R"({"ver\u0073ion":1,"version":1,"slots":[]})"},
        // Files outside the manifest's folder.
        {"p1.json", R"({"slots":[{"slot":0,"file":"/etc/passwd"}]})"},
        {"p2.json", R"({"slots":[{"slot":0,"file":"../ca.crt"}]})"},
        {"p3.json", R"({"slots":[{"slot":0,"file":"a/../../ca.crt"}]})"},
        {"p4.json", R"({"slots":[{"slot":0,"file":"C:\\ca.crt"}]})"},
        {"p5.json", R"({"slots":[{"slot":0,"file":"\\\\server\\ca.crt"}]})"},
        {"p6.json", R"({"slots":[{"slot":0,"file":"../x\nquillbank-cli: slot 0 written"}]})"},
        {"p7.json", R"({"slots":[{"slot":0,"file":"x\ny.crt"}]})"},
        {"links/p8.json", R"({"slots":[{"slot":0,"file":"out.crt"}]})"},
        // A link that stays inside is followed: the file it leads to is checked.
        {"links/p9.json",
         R"({"slots":[{"slot":0,"file":"in.crt","sha256":")" + QByteArray(64, 'a') + R"("}]})"},
    };
    ASSERT_TRUE(QDir().mkpath(Path("links")));
    ASSERT_TRUE(WriteAll(Path("links/ca.crt"), sample[5]));
    ASSERT_TRUE(QFile::link(Path("ca.crt"), Path("links/out.crt")));
    ASSERT_TRUE(QFile::link(QStringLiteral("ca.crt"), Path("links/in.crt")));
    for (const auto& [name, text] : manifests) ASSERT_TRUE(WriteAll(Path(name), text));
    struct Case {
        const char* arguments;  // @ stands for the test's folder
        int code;
        const char* says;
    };
    const Case cases[] = {
        {"apply --slot 15=@ca.crt", CLI_USAGE, "'15' is not a slot"},
        {"apply --slot 0=@ca.crt --remove 0", CLI_USAGE, "named twice"},
        {"apply --slot 0", CLI_USAGE, "expected N=FILE"},
        {"apply --slot 0=@absent.crt", CLI_LOCAL_FILE, "no such file"},
        {"apply --slot 0=@big.crt", CLI_LOCAL_FILE, "6 KBytes"},
        {"apply --slot 0=@full", CLI_LOCAL_FILE, "not a file"},
        {"apply @m1.json", CLI_USAGE, "not valid JSON"},
        {"apply @m2.json", CLI_USAGE, "unknown field 'colour'"},
        {"apply @m3.json", CLI_USAGE, "expected a slot number"},
        {"apply @m4.json", CLI_USAGE, "not a slot from 0 to 14"},
        {"apply @m5.json", CLI_USAGE, "named twice"},
        {"apply @m6.json", CLI_LOCAL_FILE, "no such file"},
        {"apply @m7.json", CLI_LOCAL_FILE, "SHA-256"},
        {"apply @m8.json", CLI_USAGE, "unknown field 'x"},
        {"apply @m9.json", CLI_USAGE, "expected a slot number"},
        {"apply @d1.json", CLI_USAGE, "d1.json: slots[0]: field 'slot' given twice"},
        {"apply @d2.json", CLI_USAGE, "d2.json: field 'slots' given twice"},
        {"apply @d3.json", CLI_USAGE, "slots[0].label.x\uFFFDy[0]: field 'b' given twice"},
        {"apply @d4.json", CLI_USAGE, "d4.json: field 'version' given twice"},
        {"apply @p1.json", CLI_USAGE, "slots[0].file: '/etc/passwd' must be a relative path"},
        {"apply @p2.json", CLI_USAGE, "'../ca.crt' must be a relative path without '..'"},
        {"apply @p3.json", CLI_USAGE, "'a/../../ca.crt' must be a relative path"},
        {"apply @p4.json", CLI_USAGE, "'C:\\ca.crt' must be a relative path"},
        {"apply @p5.json", CLI_USAGE, "'\\\\server\\ca.crt' must be a relative path"},
        {"apply @p6.json", CLI_USAGE, "'../x\uFFFDquillbank-cli: slot 0 written' must be"},
        {"apply @p7.json", CLI_LOCAL_FILE, "x\uFFFDy.crt: no such file"},
        {"apply @links/p8.json", CLI_USAGE, "slots[0].file: 'out.crt' leads outside"},
        {"apply @links/p9.json", CLI_LOCAL_FILE, "in.crt does not match its SHA-256"},
        {"apply @absent.json", CLI_LOCAL_FILE, "cannot read"},
        {"backup @full", CLI_LOCAL_FILE, "not empty; pass --force"},
        {"backup @ca.crt", CLI_LOCAL_FILE, "not a folder"},
        {"restore @empty", CLI_LOCAL_FILE, "manifest.json: cannot read"},
        {"write 0 @big.crt", CLI_LOCAL_FILE, "6 KBytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        FakePortProvider fake;
        CliEnvironment environment{fake, lister};
        CliResult r;
        QTextStream out(&r.out), err(&r.err);
        r.code = RunCli(QStringList{QStringLiteral("--port"), QStringLiteral("/dev/ttyACM0")} +
                            Args(c.arguments, dir.path()),
                        out, err, environment);
        err.flush();
        EXPECT_EQ(r.code, c.code);
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.says))) << r.err.toStdString();
        EXPECT_EQ(r.err.count(u'\n'), 1) << "one line: " << r.err.toStdString();
        EXPECT_TRUE(fake.opened.empty());
        EXPECT_TRUE(fake.line->writes.empty());
    }
}

// Each command loads only what its checks and questions need, and sends the same frames
// whether it steps as soon as each answer is in or on a fixed tick. An apply with
// --no-checks loads nothing of the slots it leaves alone.
TEST(CliAgainstScriptedDevice, LoadsOnlyWhatTheCommandNeedsAtEitherPace) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("f.crt"));
    ASSERT_TRUE(WriteAll(file, Pattern(300, 3)));
    struct Case {
        const char* arguments;       // @ stands for the test's folder
        std::vector<int> readOpens;  // slots opened for reading, in order
    };
    std::vector<int> all(SLOT_COUNT);
    for (int slot = 0; slot < SLOT_COUNT; ++slot) all[static_cast<size_t>(slot)] = slot;
    const Case cases[] = {
        {"list", all},
        {"--yes read 14 @out.crt", {14, 14}},
        {"write 6 @f.crt", {6}},
        {"--yes write 3 @f.crt", {}},
        {"--yes remove 5", {}},
        {"apply --no-checks --no-verify --slot 2=@f.crt", {2}},
        {"--yes apply --no-checks --slot 2=@f.crt", {2}},
        {"--yes apply --no-checks --slot 1=@f.crt", {1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        std::vector<std::string> frames[2];
        for (const int pace : {0, 1}) {
            CSlotEngine::ResetReadErrors();
            ScriptedPorts ports;
            ports.device.slots[3].assign(100, 0x33);
            ports.device.slots[14].assign(2000, 0x3E);
            const QStringList paced =
                pace == 0 ? QStringList{}
                          : QStringList{QStringLiteral("--tick-ms"), QStringLiteral("1")};
            const CliResult r = RunScripted(ports, paced + Args(c.arguments, dir.path()));
            EXPECT_EQ(r.code, CLI_OK) << r.err.toStdString();
            std::vector<int> opens;
            for (const ScriptedDevice::Command& command : ports.device.received) {
                frames[pace].push_back(command.frame);
                if (command.code == "9330" && (command.pos & 0x80) != 0)
                    opens.push_back(command.pos & 0x7F);
            }
            EXPECT_EQ(opens, c.readOpens);
            EXPECT_TRUE(ports.device.errors.empty());
        }
        EXPECT_EQ(frames[0], frames[1]);
    }
}

TEST_F(CliBatch, PortThatCannotBeOpenedSaysWhyAndWhatToDo) {
    // No permission: the udev rule and the group that owns the device node are named.
    const QString node = Path("ca.crt");
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(node).constData(), &info), 0);
    FakePortProvider fake;
    fake.failOpen = true;
    fake.openError = {PortOpenFailure::NoPermission, QStringLiteral("Permission denied")};
    CliEnvironment environment{fake, lister};
    CliResult denied;
    QTextStream out(&denied.out), err(&denied.err);
    denied.code =
        RunCli({QStringLiteral("--port"), node, QStringLiteral("list")}, out, err, environment);
    err.flush();
    EXPECT_EQ(denied.code, CLI_PORT_FAILED);
    EXPECT_TRUE(denied.err.contains(QStringLiteral("permission denied")));
    EXPECT_TRUE(denied.err.contains(QStringLiteral("/usr/lib/udev/rules.d/70-quillbank.rules")));
    const group* owner = ::getgrgid(info.st_gid);
    ASSERT_NE(owner, nullptr);
    EXPECT_TRUE(denied.err.contains(
        QStringLiteral("join its group '%1'").arg(QString::fromLocal8Bit(owner->gr_name))))
        << denied.err.toStdString();

    // Held by another program of ours: said so, and the holder is not disturbed.
    ASSERT_TRUE(StartDevice());
    PortOpenError error;
    std::unique_ptr<TermiosPort> holder = TermiosPort::OpenPath(Port(), &error);
    ASSERT_TRUE(holder);
    const CliResult busy = RunOnPort({QStringLiteral("list")});
    EXPECT_EQ(busy.code, CLI_PORT_FAILED);
    EXPECT_TRUE(busy.err.contains(QStringLiteral("in use by another program")))
        << busy.err.toStdString();
    holder.reset();
    EXPECT_EQ(RunOnPort({QStringLiteral("list")}).code, CLI_OK);
}

TEST_F(CliBatch, HelpAndVersionGoToStandardOutput) {
    const CliResult help = Run({QStringLiteral("--help")});
    EXPECT_EQ(help.code, CLI_OK);
    EXPECT_TRUE(help.err.isEmpty());
    for (const char* word :
         {"ports",     "list",    "read",   "write",    "remove",      "summary",      "apply",
          "backup",    "restore", "check",  "--port",   "--trace",     "--yes",        "--timeout",
          "--tick-ms", "--json",  "--slot", "--remove", "--no-verify", "--keep-going", "--exact",
          "--force",   "--days",  "--help", "--version", "--no-checks"})
        EXPECT_TRUE(help.out.contains(QStringLiteral("  ") + QLatin1String(word) + u' ')) << word;
    const CliResult version = Run({QStringLiteral("--version")});
    EXPECT_EQ(version.code, CLI_OK);
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("quillbank-cli ")))
        << version.out.toStdString();
    EXPECT_TRUE(version.err.isEmpty());
}

}  // namespace

namespace {
// Every reporting command prints one JSON document with its documented list.
TEST_F(CliBatch, JsonDocumentsOfTheReportingCommands) {
    ASSERT_TRUE(StartDevice({}, SimOptions::Content::Sample));
    lister.devices = {Device(Port())};
    struct Case {
        QStringList arguments;
        const char* list;
        int entries;
        const char* field;  // of the second entry
        QString value;
    };
    const QString json = QStringLiteral("--json");
    const Case cases[] = {
        {{json, QStringLiteral("ports")}, "ports", 1, "device", QString()},
        {{json, QStringLiteral("list")}, "slots", SLOT_COUNT, "label", QStringLiteral("Key")},
        {{json, QStringLiteral("summary"), Path("server.crt"), Path("server.key")},
         "files",
         2,
         "sha256",
         Sha256(sample[1])},
        {{json, QStringLiteral("check")},
         "certificates",
         5,
         "label",
         QStringLiteral("Certificate 1")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const CliResult r = Run(c.arguments);
        EXPECT_EQ(r.code, CLI_OK) << r.err.toStdString();
        const QJsonArray entries = JsonOf(r).value(QLatin1String(c.list)).toArray();
        ASSERT_EQ(entries.size(), c.entries) << r.out.toStdString();
        if (c.entries > 1)
            EXPECT_EQ(entries[1].toObject().value(QLatin1String(c.field)).toString(), c.value);
        else
            EXPECT_TRUE(entries[0].toObject().value(QLatin1String(c.field)).toBool());
    }
}
}  // namespace

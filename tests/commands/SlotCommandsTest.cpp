// Write, Read and Remove against an engine with a fake port and scripted dialogs.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <thread>

#include "certs/LocalFolder.h"
#include "certs/SlotCommands.h"
#include "engine/EngineSetup.h"
#include "fakes/FakeCommPort.h"
#include "fakes/FakeDialogServices.h"
#include "support/Trace.h"

namespace {
const QString kCertFilter = QString::fromLatin1(CERTIFICATE_FILE_FILTER);
const QString kKeyFilter = QString::fromLatin1(KEY_FILE_FILTER);
const QString kRemoveQuestion = QStringLiteral(
    "This action deletes the data.The operation cannot be undone.Are you sure you want to "
    "continue ?");

unsigned FileMode(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return 0;
    return info.st_mode & 0777u;
}

class SlotCommands : public ::testing::Test {
protected:
    FakePortProvider ports;
    FakeDialogServices dialogs;
    CSlotEngine engine{ports, dialogs};
    CSlotCommands commands{engine, dialogs};
    QTemporaryDir dir;
    QStringList traced;
    TextSink savedOut, savedDebug;
    const QByteArray savedDataHome = qgetenv("XDG_DATA_HOME");
    const bool dataHomeWasSet = qEnvironmentVariableIsSet("XDG_DATA_HOME");

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
        Connected();
        savedOut = SetStandardOutputSink([this](const QString& line) { traced << line; });
        savedDebug = SetDebugOutputSink([](const QString&) {});
    }
    void TearDown() override {
        SetStandardOutputSink(savedOut);
        SetDebugOutputSink(savedDebug);
        if (dataHomeWasSet)
            qputenv("XDG_DATA_HOME", savedDataHome);
        else
            qunsetenv("XDG_DATA_HOME");
    }
    // An open port and the engine idle, as a finished load leaves them.
    void Connected() {
        EngineSetup::AttachPort(engine, ports.Open(QStringLiteral("/dev/ttyACM0")));
        EngineSetup::PutInState(engine, STATE_READY, engine.CurrentSlot());
    }
    void Target(int slot) {
        commands.m_nTargetListId = SlotListId(slot);
        commands.m_nTargetRow = SlotRow(slot);
    }
    void Fill(int slot, std::uint16_t size) {
        EngineSetup::PreloadSlot(engine, slot, std::vector<std::uint8_t>(size), SLOT_DONE);
    }
    // Where the source of a Write stands: 0 at its start.
    static double SourcePosition(const CSlotEngine& engine) {
        const TransferProgressView progress = engine.TransferProgress();
        EXPECT_TRUE(progress.measured);
        return progress.done;
    }
    QString File(const char* name, qint64 size) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(size, 'x'));
        return path;
    }
    void Run(void (CSlotCommands::*command)()) { (commands.*command)(); }
};

TEST_F(SlotCommands, WriteClientRowZeroOpensSlotTwoAtTheSizeLimit) {
    commands.m_nTargetListId = IDC_LIST_CLIENT;
    commands.m_nTargetRow = 0;
    const QString path = File("full.crt", SLOT_BUFFER_SIZE);
    dialogs.fileAnswers = {path};
    commands.OnBnClickedWrite();

    EXPECT_TRUE(dialogs.messages.empty());  // empty slot: no overwrite question
    ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
    EXPECT_FALSE(dialogs.fileDialogs[0].save);
    EXPECT_EQ(dialogs.fileDialogs[0].filter, kCertFilter);
    const QString folder = dir.filePath(QStringLiteral("data/Velmora/Certificates"));
    EXPECT_EQ(GetLocalCertificateFolder(), folder);
    EXPECT_EQ(dialogs.fileDialogs[0].folderOrExtension, folder);
    EXPECT_FALSE(QFileInfo::exists(folder));  // neither created nor needed
    EXPECT_EQ(engine.CurrentSlot(), 2);
    EXPECT_EQ(engine.State(), STATE_WRITE_SEND_OPEN);
    EXPECT_EQ(engine.WritePath(), path);
    EXPECT_EQ(engine.TransferTotal(), 6144u);
    ASSERT_TRUE(engine.WriteSourceOpen());
    EXPECT_EQ(SourcePosition(engine), 0);
    EXPECT_EQ(traced, QStringList{QStringLiteral("Open local file %1(6144bytes)").arg(path)});
}

TEST_F(SlotCommands, WriteKeyRowTakesKeyFilterAndAnEmptyFile) {
    commands.m_nTargetListId = IDC_LIST_SERVER;
    commands.m_nTargetRow = 1;
    dialogs.fileAnswers = {File("empty.key", 0)};
    EngineSetup::AnnounceTotal(engine, 99);
    commands.OnBnClickedWrite();

    ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
    EXPECT_EQ(dialogs.fileDialogs[0].filter, kKeyFilter);
    EXPECT_EQ(engine.CurrentSlot(), 1);
    EXPECT_EQ(engine.State(), STATE_WRITE_SEND_OPEN);
    EXPECT_EQ(engine.TransferTotal(), 0u);
    EXPECT_TRUE(engine.WriteSourceOpen());
}

TEST_F(SlotCommands, WriteRefusesOneByteOverTheLimit) {
    Target(4);
    const QString path = File("big.der", SLOT_BUFFER_SIZE + 1);
    dialogs.fileAnswers = {path};
    EngineSetup::AnnounceTotal(engine, 99);
    commands.OnBnClickedWrite();

    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("The file size must be 6 KBytes or less."));
    EXPECT_EQ(dialogs.messages[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(dialogs.messages[0].type, unsigned{MsgBox::Ok | MsgBox::IconError});
    EXPECT_EQ(engine.WritePath(), path);
    EXPECT_EQ(engine.TransferTotal(), 99u);
    EXPECT_FALSE(engine.WriteSourceOpen());
    EXPECT_EQ(engine.State(), STATE_READY);
    EXPECT_TRUE(traced.isEmpty());
}

TEST_F(SlotCommands, WriteAsksBeforeOverwritingAndCancelEndsBeforeTheDialog) {
    Target(6);
    Fill(6, 1218);
    dialogs.messageAnswers = {MsgBox::IdCancel, MsgBox::IdOk};
    dialogs.fileAnswers = {File("new.cer", 10)};
    commands.OnBnClickedWrite();

    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
              QStringLiteral("The file is already there. Do you want to overwrite it?"));
    EXPECT_EQ(dialogs.messages[0].caption, QStringLiteral("Confirm"));
    EXPECT_EQ(dialogs.messages[0].type, unsigned{MsgBox::OkCancel | MsgBox::IconQuestion});
    EXPECT_TRUE(dialogs.fileDialogs.empty());
    EXPECT_EQ(engine.CurrentSlot(), 6);
    EXPECT_EQ(engine.State(), STATE_READY);

    commands.OnBnClickedWrite();  // now answered OK
    EXPECT_EQ(dialogs.fileDialogs.size(), 1u);
    EXPECT_EQ(engine.State(), STATE_WRITE_SEND_OPEN);
}

TEST_F(SlotCommands, WriteStopsWhenTheChosenFileHasNoSize) {
    Target(3);
    const QString folder = dir.filePath(QStringLiteral("folder.crt"));
    ASSERT_TRUE(QDir().mkpath(folder));
    dialogs.fileAnswers = {dir.filePath(QStringLiteral("vanished.crt")), folder};
    EngineSetup::AnnounceTotal(engine, 99);
    commands.OnBnClickedWrite();
    commands.OnBnClickedWrite();

    EXPECT_EQ(dialogs.fileDialogs.size(), 2u);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(engine.WriteSourceOpen());
    EXPECT_EQ(engine.TransferTotal(), 99u);
    EXPECT_EQ(engine.State(), STATE_READY);
    EXPECT_TRUE(traced.isEmpty());
}

TEST_F(SlotCommands, ReadOfTheKeySavesAPrivateFile) {
    Target(SLOT_SERVER_KEY);
    Fill(SLOT_SERVER_KEY, 1218);
    const QString path = File("server.key", 40);  // an old file, readable by all
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner |
                                                QFile::ReadGroup | QFile::ReadOther));
    dialogs.fileAnswers = {path};
    commands.OnBnClickedRead();

    ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
    EXPECT_TRUE(dialogs.fileDialogs[0].save);
    EXPECT_EQ(dialogs.fileDialogs[0].filter, kKeyFilter);
    EXPECT_EQ(dialogs.fileDialogs[0].folderOrExtension, QStringLiteral("key"));
    EXPECT_EQ(engine.CurrentSlot(), 1);
    EXPECT_EQ(engine.State(), STATE_READ_SEND_OPEN);
    EXPECT_EQ(engine.SlotSize(1), 0);
    EXPECT_TRUE(engine.SlotHasBuffer(1));  // refilled, not released
    EXPECT_EQ(engine.ReadPath(), path);
    ASSERT_TRUE(engine.ReadTargetOpen());
    // The old file stays whole until the Read succeeds; the new one is private from its start.
    EXPECT_EQ(QFileInfo(path).size(), 40);
    EXPECT_EQ(FileMode(engine.ReadTargetFile()->TemporaryPath()), 0600u);
    EXPECT_EQ(traced, QStringList{QStringLiteral("Save to %1").arg(path)});
}

// Only a file of its own is narrowed: a key saved into a pipe or a device node (a CLI's
// /dev/stdout, /dev/null) must not change that node's permissions.
TEST_F(SlotCommands, ReadOfTheKeyIntoAPipeLeavesItsPermissions) {
    Target(SLOT_SERVER_KEY);
    Fill(SLOT_SERVER_KEY, 1218);
    const QString fifo = dir.filePath(QStringLiteral("key.pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(fifo).constData(), 0644), 0);
    std::thread reader([&fifo] {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_RDONLY);
        char sink[64];
        while (fd >= 0 && ::read(fd, sink, sizeof sink) > 0) {
        }
        if (fd >= 0) ::close(fd);
    });
    dialogs.fileAnswers = {fifo};
    commands.OnBnClickedRead();
    const bool opened = engine.ReadTargetOpen();
    EngineSetup::AttachReadTarget(engine, nullptr);  // the reader sees the end
    reader.join();

    EXPECT_TRUE(opened);
    EXPECT_EQ(engine.State(), STATE_READ_SEND_OPEN);
    EXPECT_EQ(FileMode(fifo), 0644u);
}

TEST_F(SlotCommands, ReadOfACertificateKeepsUsualPermissions) {
    const mode_t savedMask = ::umask(022);
    Target(7);
    Fill(7, 300);
    const QString path = dir.filePath(QStringLiteral("client.crt"));
    dialogs.fileAnswers = {path};
    commands.OnBnClickedRead();
    ::umask(savedMask);

    ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
    EXPECT_EQ(dialogs.fileDialogs[0].filter, kCertFilter);
    EXPECT_EQ(dialogs.fileDialogs[0].folderOrExtension, QStringLiteral("crt"));
    EXPECT_EQ(engine.State(), STATE_READ_SEND_OPEN);
    ASSERT_TRUE(engine.ReadTargetOpen());
    EXPECT_EQ(FileMode(engine.ReadTargetFile()->TemporaryPath()), 0644u);
}

TEST_F(SlotCommands, ReadOfAnEmptySlotOrACancelledDialogChangesNothing) {
    Target(8);
    commands.OnBnClickedRead();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("There is no data available to read."));
    EXPECT_EQ(dialogs.messages[0].caption, QString());
    EXPECT_TRUE(dialogs.fileDialogs.empty());
    EXPECT_EQ(engine.CurrentSlot(), 8);

    Fill(8, 50);
    commands.OnBnClickedRead();  // no answer queued: the save dialog is cancelled
    EXPECT_EQ(dialogs.fileDialogs.size(), 1u);
    EXPECT_EQ(engine.SlotSize(8), 50);
    EXPECT_EQ(engine.State(), STATE_READY);
}

TEST_F(SlotCommands, ReadIntoAnUnopenableDestinationKeepsTheSlot) {
    Target(0);
    Fill(0, 700);
    const QString path = dir.filePath(QStringLiteral("no/such/folder/server.crt"));
    dialogs.fileAnswers = {path};
    commands.OnBnClickedRead();

    EXPECT_EQ(traced, (QStringList{QStringLiteral("Save to %1").arg(path),
                                   QStringLiteral("Failed open file %1").arg(path)}));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(engine.ReadTargetOpen());
    EXPECT_EQ(engine.SlotSize(0), 700);
    EXPECT_EQ(engine.State(), STATE_READY);
}

TEST_F(SlotCommands, RemoveAsksEvenForAnEmptySlot) {
    Target(14);
    dialogs.messageAnswers = {MsgBox::IdCancel, MsgBox::IdOk};
    commands.OnBnClickedRemove();
    EXPECT_EQ(engine.CurrentSlot(), 14);
    EXPECT_EQ(engine.State(), STATE_READY);

    commands.OnBnClickedRemove();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[1].text, kRemoveQuestion);
    EXPECT_EQ(dialogs.messages[1].caption, QStringLiteral("Message"));
    EXPECT_EQ(dialogs.messages[1].type, unsigned{MsgBox::OkCancel | MsgBox::IconExclamation});
    EXPECT_EQ(engine.State(), STATE_REMOVE_SEND);
}

TEST_F(SlotCommands, EveryCommandAsksForATargetFirst) {
    for (auto command : {&CSlotCommands::OnBnClickedWrite, &CSlotCommands::OnBnClickedRead,
                         &CSlotCommands::OnBnClickedRemove}) {
        dialogs.messages.clear();
        for (const auto& [listId, row] : {std::pair{0, 0}, {IDC_LIST_CLIENT, -1}}) {
            commands.m_nTargetListId = listId;
            commands.m_nTargetRow = row;
            Run(command);
        }
        ASSERT_EQ(dialogs.messages.size(), 2u);
        for (const auto& message : dialogs.messages) {
            EXPECT_EQ(message.text, QStringLiteral("Please select the target from the list."));
            EXPECT_EQ(message.caption, QString());
            EXPECT_EQ(message.type, unsigned{MsgBox::Ok});
        }
    }
    EXPECT_TRUE(dialogs.fileDialogs.empty());
    EXPECT_EQ(engine.CurrentSlot(), -1);
    EXPECT_EQ(engine.State(), STATE_READY);
}

// Slots still loading, a Read running, or the port gone: no command does anything.
TEST_F(SlotCommands, CommandsAreSilentUnlessConnectedAndIdle) {
    Target(2);
    Fill(2, 100);
    dialogs.fileAnswers = {File("a.crt", 10), dir.filePath(QStringLiteral("b.crt"))};
    for (int state : {int{STATE_LOAD_AWAIT_DATA}, int{STATE_READ_AWAIT_DATA}, int{STATE_READY}}) {
        if (state == STATE_READY) EngineSetup::AttachPort(engine, nullptr);
        EngineSetup::PutInState(engine, state, engine.CurrentSlot());
        for (auto command : {&CSlotCommands::OnBnClickedWrite, &CSlotCommands::OnBnClickedRead,
                             &CSlotCommands::OnBnClickedRemove})
            Run(command);
        EXPECT_EQ(engine.State(), state);
    }
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(dialogs.fileDialogs.empty());
    EXPECT_EQ(engine.CurrentSlot(), -1);
    EXPECT_EQ(engine.SlotSize(2), 100);
}

// The engine keeps stepping inside a command's dialogs; what it does there wins.
TEST_F(SlotCommands, CommandsCheckAgainWhenTheirDialogsClose) {
    Target(SLOT_SERVER_KEY);
    Fill(SLOT_SERVER_KEY, 100);  // so that Write asks before its file dialog
    const QString source = File("source.key", 10);
    const QString existing = File("kept.key", 25);
    const struct {
        std::function<void()> tick;
        int stateAfter;
    } nested[] = {
        {[this] { EngineSetup::PutInState(engine, STATE_DISCONNECT, engine.CurrentSlot()); }, STATE_DISCONNECT},
        {[this] { EngineSetup::AttachPort(engine, nullptr); }, STATE_READY},  // port gone, state left behind
    };
    const struct {
        void (CSlotCommands::*command)();
        QString answer;
    } runs[] = {{&CSlotCommands::OnBnClickedWrite, source},
                    {&CSlotCommands::OnBnClickedRead, existing},
                    {&CSlotCommands::OnBnClickedRemove, QString()}};
    for (const auto& hook : nested) {
        for (const auto& run : runs) {
            Connected();
            dialogs.onMessage = dialogs.onFileDialog = hook.tick;
            dialogs.fileAnswers = {run.answer};
            Run(run.command);
            EXPECT_EQ(engine.State(), hook.stateAfter);
        }
    }
    EXPECT_EQ(dialogs.messages.size(), 4u);     // Write's and Remove's questions, twice
    EXPECT_EQ(dialogs.fileDialogs.size(), 4u);  // Write's and Read's dialogs, twice
    EXPECT_FALSE(engine.WriteSourceOpen());
    EXPECT_FALSE(engine.ReadTargetOpen());
    EXPECT_EQ(QFileInfo(existing).size(), 25);  // not emptied
    EXPECT_EQ(engine.SlotSize(SLOT_SERVER_KEY), 100);
    EXPECT_TRUE(traced.isEmpty());
}

}  // namespace

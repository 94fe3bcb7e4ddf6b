// Two programs, one port. While one of our programs holds the device's port in the middle
// of a transfer, a second one that opens the port is refused and says why (the window: its
// message box and its trace; quillbank-cli: exit code 5), and the transfer completes
// untouched: the device sees no frame out of sequence and stores exactly the file. This
// holds for root too: the line's exclusive mode does not stop a privileged process, the
// lock our programs take on the open port does.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <cerrno>
#include <functional>
#include <memory>

#include "Programs.h"
#include "SimulatedPort.h"
#include "app/QuillbankDlg.h"
#include "fakes/FakeDialogServices.h"
#include "fakes/TraceCapture.h"
#include "link/TermiosPort.h"

namespace {

constexpr int kSlot = 2;  // the first row of the client list

// A window over the real port, offscreen, its timers' work done round by round.
class Window {
public:
    explicit Window(const QString& port) : m_lister(port) {
        CQuillbankDlg::s_bShowRestartReminder = false;
        dlg = std::make_unique<CQuillbankDlg>(m_ports, dialogs, m_lister);
        dlg->OnInitDialog();
        dlg->OnTimer(TIMER_DEVICE_SCAN);
        dlg->OnTimer(TIMER_UI_REFRESH);
    }
    // The device is another process: a round waits a little for its answer.
    void Round() {
        dlg->OnTimer(TIMER_ENGINE);
        if (const auto* port = dynamic_cast<const TermiosPort*>(dlg->Port())) {
            pollfd answer{port->Descriptor(), POLLIN, 0};
            (void)::poll(&answer, 1, 50);
        }
        dlg->OnTimer(TIMER_RECEIVE);
        dlg->OnTimer(TIMER_UI_REFRESH);
    }
    bool RunUntil(const std::function<bool()>& done) {
        for (int round = 0; round < 3000 && !done(); ++round) Round();
        return done();
    }

    FakeDialogServices dialogs;
    std::unique_ptr<CQuillbankDlg> dlg;

private:
    TermiosPortProvider m_ports;
    ListedPortLister m_lister;
};

enum class Holder { CommandLine, Window };

class OnePort : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir().mkpath(Slots()));
        ASSERT_TRUE(WriteAll(Slot(), Pattern(300, 1)));
        ASSERT_TRUE(WriteAll(Upload(), upload));
        ASSERT_TRUE(device.Start(
            {QStringLiteral("--folder"), Slots(), QStringLiteral("--persist"),
             QStringLiteral("--piece"), QStringLiteral("256"), QStringLiteral("--log")},
            dir.filePath(QStringLiteral("devsim.log"))));
    }
    QString Slots() const { return dir.filePath(QStringLiteral("slots")); }
    QString Slot() const { return Slots() + QStringLiteral("/slot02"); }
    QString Upload() const { return dir.filePath(QStringLiteral("upload.der")); }
    QString Log() const {
        return QString::fromLocal8Bit(ReadAll(dir.filePath(QStringLiteral("devsim.log"))));
    }

    // Tries the port the way each of our programs would, while it is held.
    void ExpectRefused() {
        SCOPED_TRACE("second program");
        const Finished cli =
            RunCli({QStringLiteral("--port"), device.path, QStringLiteral("list")});
        EXPECT_EQ(cli.code, 5) << cli.err.toStdString();
        EXPECT_TRUE(cli.err.contains(device.path)) << cli.err.toStdString();

        TraceCapture trace;
        Window second(device.path);
        second.dlg->m_btnConnect->click();
        second.Round();
        EXPECT_EQ(second.dlg->State(), STATE_DISCONNECT);
        ASSERT_EQ(second.dialogs.messages.size(), 1u);
        EXPECT_EQ(second.dialogs.messages[0].text,
                  QStringLiteral("The connection failed when trying to open the COM port."));
        const QString name = ListedPortLister::PortNameFor(device.path);
        EXPECT_TRUE(trace.messages.contains(QStringLiteral("Failed Open(%1) Open").arg(name)))
            << trace.messages.join(u'\n').toStdString();
        const QString reason =
            QStringLiteral("Open(%1) failed: in use by another program").arg(name);
        EXPECT_EQ(trace.messages.filter(reason).size(), 1)
            << trace.messages.join(u'\n').toStdString();
        second.Round();
        EXPECT_EQ(second.dlg->State(), STATE_CLOSED);
        EXPECT_FALSE(second.dlg->IsPortOpen());

        // Root opens the line in spite of its exclusive mode; the lock is what turns it away.
        if (::geteuid() == 0) {
            const int fd =
                ::open(QFile::encodeName(device.path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            EXPECT_GE(fd, 0) << "root was not let through the exclusive mode";
            if (fd >= 0) {
                EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0);
                EXPECT_EQ(errno, EWOULDBLOCK);
                ::close(fd);
            }
        }
    }

    // quillbank-cli writes the file into the slot at the window's pace (an upload of a few
    // seconds); it is stopped in the middle of the upload while the second program tries
    // the port, then let go on.
    void HolderCommandLine() {
        QProcess cli;
        cli.start(QStringLiteral(QB_CLI),
                  {QStringLiteral("--port"), device.path, QStringLiteral("--yes"),
                   QStringLiteral("--tick-ms"), QStringLiteral("100"), QStringLiteral("write"),
                   QString::number(kSlot), Upload()});
        ASSERT_TRUE(cli.waitForStarted(5000));
        QElapsedTimer waited;
        waited.start();
        while (!Log().contains(QStringLiteral("<- CMD:9130")) && waited.elapsed() < 30000)
            QThread::msleep(20);
        ASSERT_TRUE(Log().contains(QStringLiteral("<- CMD:9130"))) << "the upload did not start";
        const auto pid = static_cast<pid_t>(cli.processId());
        ASSERT_GT(pid, 0) << "the upload was over before it could be interrupted";
        ASSERT_EQ(::kill(pid, SIGSTOP), 0);
        ExpectRefused();
        ASSERT_EQ(::kill(pid, SIGCONT), 0);
        ASSERT_TRUE(cli.waitForFinished(60000));
        EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    }

    // The window writes the file into the slot; it stops ticking in the middle of the upload
    // while the second program tries the port, then goes on.
    void HolderWindow() {
        Window window(device.path);
        CQuillbankDlg& dlg = *window.dlg;
        dlg.m_btnConnect->click();
        ASSERT_TRUE(window.RunUntil([&] { return dlg.State() == STATE_READY; }));
        dlg.m_listClient->selectRow(kSlot - 2);
        dlg.OnTimer(TIMER_UI_REFRESH);
        window.dialogs.messageAnswers = {MsgBox::IdOk};  // overwrite the slot
        window.dialogs.fileAnswers = {Upload()};
        dlg.m_btnWrite->click();
        ASSERT_EQ(dlg.State(), STATE_WRITE_SEND_OPEN);
        ASSERT_TRUE(window.RunUntil([&] {
            return dlg.State() == STATE_WRITE_AWAIT_DATA && dlg.TransferProgress().done >= 1024;
        }));
        ExpectRefused();
        ASSERT_TRUE(window.RunUntil([&] { return dlg.State() == STATE_READY; }));
        const std::span<const std::uint8_t> slot = dlg.SlotBytes(kSlot);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(slot.data()), static_cast<qsizetype>(slot.size())), upload);
        dlg.m_btnConnect->click();
        ASSERT_TRUE(window.RunUntil([&] { return dlg.State() == STATE_CLOSED; }));
    }

    QTemporaryDir dir;
    DevsimProcess device;
    const QByteArray upload = Pattern(SLOT_BUFFER_SIZE, 7);
};

TEST_F(OnePort, SecondProgramIsRefusedAndTheTransferCompletesUntouched) {
    for (const Holder holder : {Holder::CommandLine, Holder::Window}) {
        SCOPED_TRACE(holder == Holder::CommandLine ? "quillbank-cli holds the port"
                                                   : "the window holds the port");
        ASSERT_TRUE(WriteAll(Slot(), Pattern(300, 1)));
        const qsizetype logStart = Log().size();
        if (holder == Holder::CommandLine)
            HolderCommandLine();
        else
            HolderWindow();
        if (HasFatalFailure()) return;
        EXPECT_EQ(ReadAll(Slot()), upload);
        const QString log = Log().mid(logStart);
        EXPECT_TRUE(ErrorLines(log).isEmpty()) << ErrorLines(log).join(u'\n').toStdString();
    }
    const QString log = device.Stop();
    EXPECT_TRUE(log.contains(QStringLiteral("frame errors 0"))) << log.right(300).toStdString();
}

}  // namespace

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "link/TermiosPort.h"

namespace {
using Clock = std::chrono::steady_clock;

// A pseudo-terminal: the test plays the device on the master side.
struct Pty {
    int master = -1;
    QString slavePath;

    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return;
        slavePath = QString::fromLocal8Bit(::ptsname(master));
    }
    ~Pty() { CloseMaster(); }
    void CloseMaster() {
        if (master >= 0) ::close(master);
        master = -1;
    }
    // Everything the host sent, collected for at most `ms`, until `expected` bytes are in.
    std::string ReadMaster(size_t expected, int ms = 1000) const {
        std::string got;
        const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
        while (got.size() < expected && Clock::now() < deadline) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            char buffer[4096];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0) got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }
};

std::unique_ptr<TermiosPort> OpenConfigured(const Pty& pty) {
    auto port = TermiosPort::OpenPath(pty.slavePath);
    if (!port) return nullptr;
    if (!port->GetState()) return nullptr;
    port->Purge();
    (void)port->SetState();
    if (!port->GetTimeouts() || !port->SetTimeouts()) return nullptr;
    port->RaiseRts();
    return port;
}

// Reads until `expected` bytes came in or `ms` passed; false on the first failed read.
bool ReadFor(TermiosPort& port, std::string& got, size_t expected, int ms = 1000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (got.size() < expected && Clock::now() < deadline) {
        pollfd p{port.Descriptor(), POLLIN, 0};
        (void)::poll(&p, 1, 20);
        char buffer[512];
        int count = -1;
        if (!port.Read(buffer, sizeof buffer, count)) return false;
        got.append(buffer, static_cast<size_t>(count));
    }
    return true;
}
}  // namespace

TEST(TermiosPort, OpenFailsForMissingOrEmptyPath) {
    EXPECT_EQ(TermiosPort::OpenPath(QStringLiteral("/dev/no-such-port-here")), nullptr);
    EXPECT_EQ(TermiosPort::OpenPath(QString()), nullptr);
    TermiosPortProvider provider;
    EXPECT_EQ(provider.Open(QStringLiteral("/nonexistent/ttyACM0")), nullptr);
}

// Each way an open can fail carries the reason a user needs: wrong name, no permission, or
// another program (of ours, even a privileged one) holding the line.
TEST(TermiosPort, FailedOpenSaysWhy) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    auto holder = TermiosPort::OpenPath(pty.slavePath);
    ASSERT_NE(holder, nullptr);

    const QString locked =
        QDir::temp().filePath(QStringLiteral("qb-no-permission-%1").arg(::getpid()));
    {
        QFile file(locked);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ::chmod(QFile::encodeName(locked).constData(), 0600);

    struct Case {
        QString path;
        PortOpenFailure expected;
        bool unprivileged;  // try as an ordinary user (root may open anything)
    };
    const Case cases[] = {
        {QStringLiteral("/dev/no-such-port-here"), PortOpenFailure::Missing, false},
        {QString(), PortOpenFailure::Missing, false},
        {pty.slavePath, PortOpenFailure::InUse, false},
        {locked, PortOpenFailure::NoPermission, true},
    };
    for (const Case& c : cases) {
        if (!c.unprivileged || ::geteuid() != 0) {
            PortOpenError error;
            EXPECT_EQ(TermiosPort::OpenPath(c.path, &error), nullptr) << c.path.toStdString();
            EXPECT_EQ(error.failure, c.expected) << c.path.toStdString();
            EXPECT_FALSE(DescribePortOpenError(error).isEmpty());
            continue;
        }
        // As root, drop to an ordinary user in a child and report the failure kind.
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(100);
            PortOpenError error;
            const bool opened = TermiosPort::OpenPath(c.path, &error) != nullptr;
            ::_exit(opened ? 101 : static_cast<int>(error.failure));
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(c.expected)) << c.path.toStdString();
    }
    QFile::remove(locked);

    // Once the holder lets go, the line opens again.
    holder.reset();
    PortOpenError error;
    EXPECT_NE(TermiosPort::OpenPath(pty.slavePath, &error), nullptr);
    EXPECT_EQ(error.failure, PortOpenFailure::None);
}

TEST(TermiosPort, ConfiguresAPtyAsARawNonBlockingLine) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    auto port = OpenConfigured(pty);
    ASSERT_NE(port, nullptr);

    const int flags = ::fcntl(port->Descriptor(), F_GETFL);
    EXPECT_TRUE(flags & O_NONBLOCK);
    termios t{};
    ASSERT_EQ(::tcgetattr(port->Descriptor(), &t), 0);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
    EXPECT_TRUE(t.c_cflag & CREAD);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    // A pty keeps 8N1 whatever it is asked for; that refusal must not fail the open.
}

namespace {
// Records what the port asks of the driver beyond its settings; a pty has no modem lines.
class RecordingPort : public TermiosPort {
public:
    using TermiosPort::TermiosPort;
    std::vector<std::string> calls;

protected:
    void FlushQueues(int queues) override {
        calls.push_back(queues == TCIOFLUSH ? "flush both" : "flush one");
        TermiosPort::FlushQueues(queues);
    }
    void ChangeModemLine(int line, bool raise) override {
        const char* name = line == TIOCM_DTR ? "DTR" : line == TIOCM_RTS ? "RTS" : "?";
        calls.push_back(std::string(raise ? "raise " : "lower ") + name);
    }
};
}  // namespace

// The purge empties both queues, DTR goes low with the line settings, and RTS goes up only
// when asked for after the configuration.
TEST(TermiosPort, PurgeDropsWhatWaitedAndModemLinesFollowTheSteps) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    const QByteArray path = QFile::encodeName(pty.slavePath);
    RecordingPort port(::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_GE(port.Descriptor(), 0);
    ASSERT_TRUE(port.GetState());
    ASSERT_EQ(::write(pty.master, "stale\r\n", 7), 7);
    pollfd p{port.Descriptor(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 1000), 1);

    const struct {
        const char* step;
        std::function<void()> run;
        std::vector<std::string> calls;
    } steps[] = {
        {"Purge", [&] { port.Purge(); }, {"flush both"}},
        {"SetState", [&] { (void)port.SetState(); }, {"flush both", "lower DTR"}},
        {"GetTimeouts", [&] { EXPECT_TRUE(port.GetTimeouts()); }, {"flush both", "lower DTR"}},
        {"SetTimeouts", [&] { EXPECT_TRUE(port.SetTimeouts()); }, {"flush both", "lower DTR"}},
        {"RaiseRts", [&] { port.RaiseRts(); }, {"flush both", "lower DTR", "raise RTS"}},
    };
    for (const auto& step : steps) {
        step.run();
        EXPECT_EQ(port.calls, step.calls) << "after " << step.step;
    }
    char buffer[16];
    int count = -1;
    EXPECT_TRUE(port.Read(buffer, sizeof buffer, count));
    EXPECT_EQ(count, 0) << "bytes that arrived before the purge are gone";
}

TEST(TermiosPort, ClaimsThePortExclusivelyAndGivesTheClaimBack) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    // A second descriptor on the same line, as the simulator keeps one.
    const QByteArray path = pty.slavePath.toLocal8Bit();
    const int other = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(other, 0);
    int exclusive = -1;
    {
        auto port = TermiosPort::OpenPath(pty.slavePath);
        ASSERT_NE(port, nullptr);
        ASSERT_EQ(::ioctl(other, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 1);
    }
    ASSERT_EQ(::ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0) << "a closed port must not stay claimed";
    EXPECT_NE(TermiosPort::OpenPath(pty.slavePath), nullptr);
    ::close(other);
}

TEST(TermiosPort, CarriesBytesBothWaysUnchanged) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    auto port = OpenConfigured(pty);
    ASSERT_NE(port, nullptr);

    const std::string frame = "CMD:0000,CNT:00,DATA:FFFF000000,SUM:5D\r\n";
    port->Write(frame.data(), static_cast<int>(frame.size()));
    EXPECT_EQ(pty.ReadMaster(frame.size()), frame);

    // CR LF, NUL and bytes above 0x7F come through as they were sent.
    const std::string answer("CMD:9330,RES:OK,\0\xE1,SUM:F3\r\n", 28);
    ASSERT_EQ(::write(pty.master, answer.data(), answer.size()),
              static_cast<ssize_t>(answer.size()));
    std::string got;
    ASSERT_TRUE(ReadFor(*port, got, answer.size()));
    EXPECT_EQ(got, answer);
}

TEST(TermiosPort, ReadHonoursCapacityAndKeepsTheRest) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    auto port = OpenConfigured(pty);
    ASSERT_NE(port, nullptr);
    ASSERT_EQ(::write(pty.master, "0123456789", 10), 10);
    pollfd p{port->Descriptor(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 1000), 1);

    char buffer[16] = {};
    int count = -1;
    ASSERT_TRUE(port->Read(buffer, 0, count));  // a full receive buffer asks for nothing
    EXPECT_EQ(count, 0);
    ASSERT_TRUE(port->Read(buffer, 4, count));
    EXPECT_EQ(std::string(buffer, 4), "0123");
    std::string rest;
    ASSERT_TRUE(ReadFor(*port, rest, 6));
    EXPECT_EQ(rest, "456789");
}

TEST(TermiosPort, IdleLineIsAnEmptySuccessfulReadThatDoesNotWait) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    auto port = OpenConfigured(pty);
    ASSERT_NE(port, nullptr);
    char buffer[64];
    const auto start = Clock::now();
    for (int i = 0; i < 5; ++i) {
        int count = -1;
        EXPECT_TRUE(port->Read(buffer, sizeof buffer, count)) << "nothing arrived is no failure";
        EXPECT_EQ(count, 0);
    }
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
}

TEST(TermiosPort, HangUpFailsEveryReadAtOnce) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    auto port = OpenConfigured(pty);
    ASSERT_NE(port, nullptr);
    // Bytes sent before the device vanished are still delivered first.
    ASSERT_EQ(::write(pty.master, "OK\r\n", 4), 4);
    std::string got;
    ASSERT_TRUE(ReadFor(*port, got, 4));
    EXPECT_EQ(got, "OK\r\n");

    pty.CloseMaster();
    char buffer[64];
    const auto start = Clock::now();
    for (int i = 0; i < 11; ++i) {
        int count = -1;
        EXPECT_FALSE(port->Read(buffer, sizeof buffer, count)) << "read " << i;
        EXPECT_EQ(count, 0);
    }
    // Each failure is one quick call: the caller counts one per tick, nothing spins or blocks.
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
    // Writing to a vanished device neither blocks nor crashes.
    const auto writeStart = Clock::now();
    port->Write("X\r\n", 3);
    EXPECT_LT(Clock::now() - writeStart, std::chrono::milliseconds(100));
}

TEST(TermiosPort, WriteGivesUpWhenTheLineDoesNotDrain) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    auto port = OpenConfigured(pty);
    ASSERT_NE(port, nullptr);
    // Nobody reads the master, so the pty's queue fills and stays full.
    const std::string big(4 << 20, 'A');
    const auto start = Clock::now();
    port->Write(big.data(), static_cast<int>(big.size()));
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(TermiosPort::WRITE_TIMEOUT_MS - 2));
    EXPECT_LT(took, std::chrono::milliseconds(250));
}

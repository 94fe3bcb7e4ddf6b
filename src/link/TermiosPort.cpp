#include "link/TermiosPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace {
// Linux-only parity mode; absent elsewhere.
#ifdef CMSPAR
constexpr tcflag_t kStickParity = CMSPAR;
#else
constexpr tcflag_t kStickParity = 0;
#endif

PortOpenError ErrorFromErrno(int code) {
    PortOpenError error;
    error.detail = QString::fromLocal8Bit(std::strerror(code));
    switch (code) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR:
            error.failure = PortOpenFailure::Missing;
            break;
        case EACCES:
        case EPERM:
        case EROFS:
            error.failure = PortOpenFailure::NoPermission;
            break;
        // A line claimed with TIOCEXCL refuses other openers with EBUSY; the lock below
        // says EWOULDBLOCK.
        case EBUSY:
        case EWOULDBLOCK:
            error.failure = PortOpenFailure::InUse;
            break;
        default:
            error.failure = PortOpenFailure::Other;
            break;
    }
    return error;
}

std::nullptr_t Fail(PortOpenError* error, int code) {
    if (error != nullptr) *error = ErrorFromErrno(code);
    return nullptr;
}
}  // namespace

termios LineSettings(const termios& current) {
    termios t = current;
    ::cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | PARODD | CSTOPB | CRTSCTS | kStickParity);
    t.c_cflag |= CS7 | PARENB | CREAD | CLOCAL;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    (void)::cfsetispeed(&t, B115200);
    (void)::cfsetospeed(&t, B115200);
    return t;
}

std::unique_ptr<TermiosPort> TermiosPort::OpenPath(const QString& path, PortOpenError* error) {
    if (error != nullptr) *error = {};
    if (path.isEmpty()) return Fail(error, ENOENT);
    const QByteArray encoded = QFile::encodeName(path);
    const int fd = ::open(encoded.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Fail(error, errno);
    // TIOCEXCL keeps out ordinary users but not a privileged process, which could then purge
    // and reconfigure a line in the middle of another program's transfer. The lock is taken
    // before anything touches the line, so a second program of ours backs off untouched.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        ::close(fd);
        return Fail(error, code);
    }
    // Share mode 0: nobody else may open the port while we hold it.
    if (::ioctl(fd, TIOCEXCL) != 0) {
        const int code = errno;
        ::close(fd);
        return Fail(error, code);
    }
    return std::make_unique<TermiosPort>(fd);
}

TermiosPort::TermiosPort(int fd) : m_fd(fd) {}

TermiosPort::~TermiosPort() {
    if (m_fd < 0) return;
    // A pty stays exclusive until its last descriptor closes; the simulator keeps one, so
    // give the claim back explicitly or the next connection would be refused.
    (void)::ioctl(m_fd, TIOCNXCL);
    ::close(m_fd);
}

bool TermiosPort::GetState() {
    return ::tcgetattr(m_fd, &m_settings) == 0;
}

void TermiosPort::Purge() {
    FlushQueues(TCIOFLUSH);
}

bool TermiosPort::SetState() {
    const termios t = LineSettings(m_settings);
    const bool applied = ::tcsetattr(m_fd, TCSANOW, &t) == 0;
    if (applied) m_settings = t;
    ChangeModemLine(TIOCM_DTR, false);
    return applied;
}

bool TermiosPort::GetTimeouts() {
    m_fileFlags = ::fcntl(m_fd, F_GETFL);
    return m_fileFlags >= 0 && ::tcgetattr(m_fd, &m_settings) == 0;
}

bool TermiosPort::SetTimeouts() {
    // A read returns at once with what has arrived. VMIN 1 (not 0) matters: with VMIN 0 a
    // read of an idle line returns 0 bytes, which is exactly what a hang-up returns, while
    // with VMIN 1 and O_NONBLOCK an idle line gives EAGAIN and only a hang-up gives 0.
    termios t = m_settings;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (::tcsetattr(m_fd, TCSANOW, &t) == 0) m_settings = t;
    return ::fcntl(m_fd, F_SETFL, m_fileFlags | O_NONBLOCK) == 0;
}

void TermiosPort::RaiseRts() {
    ChangeModemLine(TIOCM_RTS, true);
}

void TermiosPort::FlushQueues(int queues) {
    (void)::tcflush(m_fd, queues);
}

void TermiosPort::ChangeModemLine(int line, bool raise) {
    (void)::ioctl(m_fd, raise ? TIOCMBIS : TIOCMBIC, &line);
}

bool TermiosPort::Read(char* buffer, int capacity, int& count) {
    count = 0;
    if (capacity <= 0) return true;  // a full receive buffer asks for nothing
    ssize_t n;
    do {
        n = ::read(m_fd, buffer, static_cast<size_t>(capacity));
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
        count = static_cast<int>(n);
        return true;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    return false;  // 0: hang-up (device gone); anything else: a failed read
}

void TermiosPort::Write(const char* data, int length) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(WRITE_TIMEOUT_MS);
    while (length > 0) {
        const ssize_t n = ::write(m_fd, data, static_cast<size_t>(length));
        if (n > 0) {
            data += n;
            length -= static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return;
        pollfd p{m_fd, POLLOUT, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return;
    }
}

void TermiosPort::WaitForInput(int timeoutMs) {
    pollfd p{m_fd, POLLIN, 0};
    (void)::poll(&p, 1, std::max(timeoutMs, 0));
}

std::unique_ptr<CommPort> TermiosPortProvider::Open(const QString& location) {
    return TermiosPort::OpenPath(location, &m_lastError);
}

#include "support/AppendFile.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

#ifdef _WIN32
// clang-format off
#include <windows.h>
#include <io.h>
// clang-format on
#else
#include <sys/file.h>
#endif

#include "support/FileCalls.h"
#include "support/SafeFile.h"

namespace {
QString Failed(const QString& path, int error) {
    return path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
}

#ifdef _WIN32
// Every appender locks one byte far past any end the file will reach: a lock there keeps
// other programs' appends out without touching the bytes themselves.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

// Holds the file lock that every appender takes around its write.
class Locked {
public:
    explicit Locked(int fd) : m_handle(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) {
        OVERLAPPED at{};
        at.OffsetHigh = kLockOffsetHigh;
        m_ok = LockFileEx(m_handle, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at) != FALSE;
        if (!m_ok) errno = EACCES;
    }
    ~Locked() {
        OVERLAPPED at{};
        at.OffsetHigh = kLockOffsetHigh;
        if (m_ok) UnlockFileEx(m_handle, 0, 1, 0, &at);
    }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
    bool ok() const { return m_ok; }

private:
    HANDLE m_handle;
    bool m_ok = false;
};

#else
int Retried(int (*call)(int, int), int fd, int operation) {
    int result = 0;
    do result = call(fd, operation);
    while (result != 0 && errno == EINTR);
    return result;
}

// Holds the file lock that every appender takes around its write.
class Locked {
public:
    explicit Locked(int fd) : m_fd(fd), m_ok(Retried(::flock, fd, LOCK_EX) == 0) {}
    ~Locked() {
        if (m_ok) Retried(::flock, m_fd, LOCK_UN);
    }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
    bool ok() const { return m_ok; }

private:
    int m_fd;
    bool m_ok;
};

#endif

// The descriptor, or -1 with `error` set.
int OpenForAppending(const QString& path, QString& error) {
    // Not blocking: a FIFO at the name would otherwise hold the open until a reader comes.
    const int fd = FileSystemCalls::System().Open(
        NativeName(path).constData(),
        O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd < 0) {
        if (errno == ELOOP)
            error = path + QStringLiteral(": is a symbolic link; name the file itself");
        else if (errno == ENXIO)  // a FIFO without a reader
            error = path + QStringLiteral(": not a regular file");
        else
            error = Failed(path, errno);
    }
    return fd;
}
}  // namespace

AppendFile::~AppendFile() {
    if (m_fd >= 0) FileSystemCalls::System().Close(m_fd);
}

bool AppendFile::Open(const QString& path, QString& error) {
    m_path = path;
    const int fd = OpenForAppending(path, error);
    if (fd < 0) return false;
    FileStat info{};
    if (StatDescriptor(fd, info) != 0 || !IsRegular(info)) {
        error = path + QStringLiteral(": not a regular file");
        FileSystemCalls::System().Close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

bool AppendFile::Append(const QByteArray& line, QString& error) {
    const std::lock_guard<std::mutex> guard(m_mutex);
    if (m_fd < 0) {
        error = m_path + QStringLiteral(": not open");
        return false;
    }
    const Locked lock(m_fd);
    if (!lock.ok()) {
        error = Failed(m_path, errno);
        return false;
    }
    // Every appender holds the lock: the end found here is where this line starts.
    FileStat before{};
    if (StatDescriptor(m_fd, before) != 0) {
        error = Failed(m_path, errno);
        return false;
    }
    qsizetype written = 0;
    while (written < line.size()) {
        const long n = FileSystemCalls::System().Write(
            m_fd, line.constData() + written, static_cast<size_t>(line.size() - written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int reason = n < 0 ? errno : ENOSPC;
            // Take back the part that went in.
            if (written > 0) static_cast<void>(TruncateDescriptor(m_fd, before.st_size));
            error = Failed(m_path, reason);
            return false;
        }
        written += n;
    }
    if (SyncData(m_fd) != 0) {
        error = Failed(m_path, errno);
        return false;
    }
    return true;
}

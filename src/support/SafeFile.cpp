#include "support/SafeFile.h"

#include <fcntl.h>

#ifdef _WIN32
// clang-format off
#include <windows.h>
#include <io.h>
// clang-format on
#else
#include <unistd.h>
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "support/FileCalls.h"

#ifdef _WIN32
int FileSystemCalls::Open(const char* path, int flags, unsigned mode) {
    const std::wstring wide = WidePath(path);
    // A new name (O_EXCL) fails on any entry already there, a link too. Only links are
    // refused: a file that OneDrive keeps is a reparse point as well.
    if ((flags & O_NOFOLLOW) != 0 && (flags & O_EXCL) == 0 && IsLinkAt(wide)) {
        errno = ELOOP;
        return -1;
    }
    // Binary, and not handed down to programs this one starts.
    return _wopen(wide.c_str(), (flags & ~O_NOFOLLOW) | _O_BINARY | _O_NOINHERIT,
                  (mode & 0200u) != 0 ? _S_IREAD | _S_IWRITE : _S_IREAD);
}
long FileSystemCalls::Write(int fd, const void* data, std::size_t size) {
    return _write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}
int FileSystemCalls::Sync(int fd) { return _commit(fd); }
int FileSystemCalls::Close(int fd) { return _close(fd); }
int FileSystemCalls::Rename(const char* from, const char* to) {
    // Over an existing file too, and on the disk before it returns.
    if (MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    errno = ErrnoFromWin32(GetLastError());
    return -1;
}
int FileSystemCalls::Unlink(const char* path) { return _wunlink(WidePath(path).c_str()); }
int FileSystemCalls::Link(const char* from, const char* to) {
    if (CreateHardLinkW(WidePath(to).c_str(), WidePath(from).c_str(), nullptr)) return 0;
    errno = ErrnoFromWin32(GetLastError());
    return -1;
}
#else
int FileSystemCalls::Open(const char* path, int flags, unsigned mode) {
    return ::open(path, flags, static_cast<mode_t>(mode));
}
long FileSystemCalls::Write(int fd, const void* data, std::size_t size) {
    return static_cast<long>(::write(fd, data, size));
}
int FileSystemCalls::Sync(int fd) { return ::fsync(fd); }
int FileSystemCalls::Close(int fd) { return ::close(fd); }
int FileSystemCalls::Rename(const char* from, const char* to) { return ::rename(from, to); }
int FileSystemCalls::Unlink(const char* path) { return ::unlink(path); }
int FileSystemCalls::Link(const char* from, const char* to) { return ::link(from, to); }
#endif

FileSystemCalls& FileSystemCalls::System() {
    static FileSystemCalls calls;
    return calls;
}

namespace {

constexpr int kCreateAttempts = 100;

QByteArray Encoded(const QString& path) { return NativeName(path); }

QString Reason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// ".NAME.tmp-XXXXXX" beside `path`: hidden, and named after the file it becomes.
QString TemporaryName(const QString& path) {
    static const char kAlphabet[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString suffix;
    for (int i = 0; i < 6; ++i)
        suffix += QLatin1Char(kAlphabet[QRandomGenerator::system()->bounded(62)]);
    const QFileInfo info(path);
    return info.dir().filePath(QStringLiteral(".%1.tmp-%2").arg(info.fileName(), suffix));
}

QString FolderOf(const QString& path) { return QFileInfo(path).dir().path(); }

// A folder that refuses new entries while its existing file may still be writable.
bool FolderIsClosed(int error) { return error == EACCES || error == EPERM || error == EROFS; }

// Syncing a pipe or a terminal is not possible and not needed.
bool SyncNotApplicable(int error) { return error == EINVAL || error == ENOTSUP || error == EROFS; }

}  // namespace

SafeFile::SafeFile(FileSystemCalls& calls) : m_calls(&calls) {}

SafeFile::~SafeFile() { Discard(); }

SafeFile::SafeFile(SafeFile&& other) noexcept
    : m_calls(other.m_calls),
      m_path(std::move(other.m_path)),
      m_temporary(std::move(other.m_temporary)),
      m_fd(std::exchange(other.m_fd, -1)),
      m_inPlace(other.m_inPlace),
      m_finished(other.m_finished),
      m_published(other.m_published),
      m_written(other.m_written),
      m_error(std::move(other.m_error)) {
    other.Reset();
}

SafeFile& SafeFile::operator=(SafeFile&& other) noexcept {
    if (this != &other) {
        Discard();
        m_calls = other.m_calls;
        m_path = std::move(other.m_path);
        m_temporary = std::move(other.m_temporary);
        m_fd = std::exchange(other.m_fd, -1);
        m_inPlace = other.m_inPlace;
        m_finished = other.m_finished;
        m_published = other.m_published;
        m_written = other.m_written;
        m_error = std::move(other.m_error);
        other.Reset();
    }
    return *this;
}

void SafeFile::Reset() {
    m_path.clear();
    m_temporary.clear();
    m_fd = -1;
    m_inPlace = false;
    m_finished = false;
    m_published = false;
    m_written = 0;
    m_error.clear();
}

bool SafeFile::Fail(const char* what) {
    const int error = errno;
    if (m_error.isEmpty()) {
        m_error = m_path + QStringLiteral(": ") + Reason(error);
        if (what != nullptr) m_error += QStringLiteral(" (%1)").arg(QLatin1String(what));
    }
    return false;
}

bool SafeFile::Begin(const QString& path, FileAccess access, InPlace inPlace) {
    Discard();
    Reset();
    m_path = path;
    const QByteArray name = Encoded(path);

    // A stream has no folder entry to replace: it is written as it is.
    FileStat target{};
    if (inPlace == InPlace::WhenFolderIsClosed && StatPath(name.constData(), target) == 0 &&
        !IsRegular(target) && !IsFolder(target)) {
        m_fd = m_calls->Open(name.constData(), O_WRONLY | O_CLOEXEC, 0);
        if (m_fd < 0) return Fail();
        m_inPlace = true;
        return true;
    }

    int savedErrno = 0;
    if (CreateTemporary(access, savedErrno)) return true;
    if (inPlace == InPlace::WhenFolderIsClosed && FolderIsClosed(savedErrno) &&
        OpenInPlace(access))
        return true;
    errno = savedErrno;
    return Fail();
}

bool SafeFile::CreateTemporary(FileAccess access, int& savedErrno) {
    // A file it replaces keeps its permissions (as writing into it would have); a key is
    // owner-only whatever it replaces.
    unsigned mode = access == FileAccess::OwnerOnly ? 0600u : 0666u;
    FileStat old{};
    const bool replacesFile = LinkStatPath(Encoded(m_path).constData(), old) == 0 && IsRegular(old);

    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        const QString temporary = TemporaryName(m_path);
        const int fd = m_calls->Open(Encoded(temporary).constData(),
                                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            savedErrno = errno;
            return false;
        }
        m_fd = fd;
        m_temporary = temporary;
        if (access == FileAccess::Usual && replacesFile)
            static_cast<void>(ChangeMode(fd, Encoded(temporary).constData(), old.st_mode & 07777));
#ifdef _WIN32
        // The mode given to the open does not keep others out there: a DACL does, before
        // the first byte is written.
        if (access == FileAccess::OwnerOnly &&
            ChangeMode(fd, Encoded(temporary).constData(), 0600) != 0) {
            savedErrno = errno;
            Discard();
            return false;
        }
#endif
        return true;
    }
    savedErrno = EEXIST;
    return false;
}

bool SafeFile::OpenInPlace(FileAccess access) {
    // Never through a link: one at the final name could only be followed here.
    const int fd = m_calls->Open(Encoded(m_path).constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0);
    if (fd < 0) return false;
    FileStat info{};
    bool usable = StatDescriptor(fd, info) == 0 && IsRegular(info);
    // Narrowed before it is emptied, so that a key file that cannot be narrowed keeps its
    // content.
    if (usable && access == FileAccess::OwnerOnly)
        usable = ChangeMode(fd, Encoded(m_path).constData(), 0600) == 0;
    if (usable) usable = TruncateDescriptor(fd) == 0;
    if (!usable) {
        m_calls->Close(fd);
        return false;
    }
    m_fd = fd;
    m_inPlace = true;
    return true;
}

bool SafeFile::Write(const void* data, std::size_t size) {
    if (Failed()) return false;
    if (m_fd < 0 || m_finished) {
        errno = EBADF;
        return Fail();
    }
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const long written = m_calls->Write(m_fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            if (written == 0) errno = ENOSPC;
            return Fail();
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
        m_written += static_cast<std::size_t>(written);
    }
    return true;
}

bool SafeFile::Finish() {
    if (m_finished) return !Failed();
    if (m_fd < 0) {
        if (!Failed()) {
            errno = EBADF;
            Fail();
        }
        return false;
    }
    if (!Failed() && m_calls->Sync(m_fd) != 0 && !(m_inPlace && SyncNotApplicable(errno)))
        Fail();
    const int fd = std::exchange(m_fd, -1);
    if (m_calls->Close(fd) != 0) Fail();
    m_finished = true;
    if (Failed()) {
        Discard();
        return false;
    }
    return true;
}

bool SafeFile::Publish() {
    if (!m_finished || Failed()) return false;
    if (m_inPlace || m_published) return true;
    if (m_calls->Rename(Encoded(m_temporary).constData(), Encoded(m_path).constData()) != 0) {
        Fail();
        Discard();
        return false;
    }
    m_temporary.clear();
    m_published = true;
    // The rename itself reaches the disk only with the folder; a folder that cannot be
    // synced still holds the whole file.
    const int folder = m_calls->Open(Encoded(FolderOf(m_path)).constData(),
                                     O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (folder >= 0) {
        static_cast<void>(m_calls->Sync(folder));
        m_calls->Close(folder);
    }
    return true;
}

bool SafeFile::Commit() { return Finish() && Publish(); }

void SafeFile::Discard() {
    if (m_fd >= 0) m_calls->Close(std::exchange(m_fd, -1));
    if (!m_temporary.isEmpty()) {
        m_calls->Unlink(Encoded(m_temporary).constData());
        m_temporary.clear();
    }
    m_finished = true;
}

bool PublishTogether(std::vector<SafeFile*> files, QString& error, FileSystemCalls& calls) {
    struct Kept {
        QString aside;  // the old entry's temporary name; empty: there was none
        bool moved = false;  // moved aside rather than linked: its name is free meanwhile
    };
    std::vector<Kept> kept(files.size());
    const auto restore = [&](std::size_t published) {
        for (std::size_t i = 0; i < files.size(); ++i) {
            const QByteArray final = Encoded(files[i]->Path());
            const QByteArray aside = Encoded(kept[i].aside);
            if (i < published) {
                if (kept[i].aside.isEmpty())
                    calls.Unlink(final.constData());
                else
                    calls.Rename(aside.constData(), final.constData());
            } else if (kept[i].moved) {
                calls.Rename(aside.constData(), final.constData());
            } else if (!kept[i].aside.isEmpty()) {
                calls.Unlink(aside.constData());
            }
            files[i]->Discard();
        }
    };

    for (SafeFile* file : files) {
        if (!file->Finish()) {
            error = file->Error();
            for (SafeFile* other : files) other->Discard();
            return false;
        }
    }
    // Only a file (or a link, which is replaced) gives way: a folder or anything else at a
    // final name is the user's, and moving it aside would hide it.
    for (SafeFile* file : files) {
        FileStat old{};
        if (LinkStatPath(Encoded(file->Path()).constData(), old) != 0 || IsRegular(old) ||
            IsLink(old))
            continue;
        error = file->Path() + (IsFolder(old) ? QStringLiteral(": is a folder")
                                              : QStringLiteral(": not a regular file"));
        for (SafeFile* other : files) other->Discard();
        return false;
    }
    // Every old entry stays reachable under a second name until all new files are in place.
    for (std::size_t i = 0; i < files.size(); ++i) {
        const QByteArray final = Encoded(files[i]->Path());
        FileStat old{};
        if (LinkStatPath(final.constData(), old) != 0) continue;
        const QString aside = TemporaryName(files[i]->Path());
        const QByteArray asideName = Encoded(aside);
        // Without hard links (a FAT stick) the old entry moves aside instead, briefly
        // leaving its name free.
        if (calls.Link(final.constData(), asideName.constData()) != 0) {
            if (calls.Rename(final.constData(), asideName.constData()) != 0) {
                error = files[i]->Path() + QStringLiteral(": ") + Reason(errno);
                restore(0);
                return false;
            }
            kept[i].moved = true;
        }
        kept[i].aside = aside;
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!files[i]->Publish()) {
            error = files[i]->Error();
            restore(i);
            return false;
        }
    }
    for (const Kept& entry : kept)
        if (!entry.aside.isEmpty()) calls.Unlink(Encoded(entry.aside).constData());
    return true;
}

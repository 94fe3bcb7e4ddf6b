#include "support/FileCalls.h"

#include <QFile>

#ifdef _WIN32
// clang-format off
#include <windows.h>
#include <aclapi.h>
#include <direct.h>
#include <io.h>
// clang-format on
#include <cerrno>
#include <vector>

std::wstring WidePath(const char* native) {
    return QString::fromUtf8(native).toStdWString();
}

int ErrnoFromWin32(unsigned long code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EACCES;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
            return ENOTSUP;
        default:
            return EIO;
    }
}

QByteArray NativeName(const QString& path) {
    return path.toUtf8();
}

bool IsLinkReparseTag(unsigned long tag) {
    return tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT;
}

bool IsLinkAt(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return false;
    // The entry itself, not what it points to; a folder too.
    const HANDLE entry = CreateFileW(
        path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    // A reparse point whose kind cannot be told is taken for a link, as all were before:
    // every reparse point has a tag, and none is 0 (wine shows a link to a folder so).
    if (entry == INVALID_HANDLE_VALUE) return true;
    FILE_ATTRIBUTE_TAG_INFO info{};
    const bool told =
        GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &info, sizeof info) != FALSE;
    CloseHandle(entry);
    return !told || info.ReparseTag == 0 || IsLinkReparseTag(info.ReparseTag);
}

int StatPath(const char* path, FileStat& info) {
    return _wstat64(WidePath(path).c_str(), &info);
}
int LinkStatPath(const char* path, FileStat& info) {
    return StatPath(path, info);
}
int StatDescriptor(int fd, FileStat& info) {
    return _fstat64(fd, &info);
}
bool IsRegular(const FileStat& info) {
    return (info.st_mode & _S_IFMT) == _S_IFREG;
}
bool IsFolder(const FileStat& info) {
    return (info.st_mode & _S_IFMT) == _S_IFDIR;
}
bool IsLink(const FileStat&) {
    return false;  // the stat there follows links
}

namespace {
// A DACL with one entry: everything for the current user. Inherited entries are cut off.
int RestrictToOwner(const char* path) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        errno = EACCES;
        return -1;
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    const bool got = GetTokenInformation(token, TokenUser, user.data(), size, &size) != FALSE;
    CloseHandle(token);
    if (!got) {
        errno = EACCES;
        return -1;
    }
    EXPLICIT_ACCESS_W access{};
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_USER;
    access.Trustee.ptstrName =
        static_cast<LPWSTR>(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
    PACL acl = nullptr;
    if (SetEntriesInAclW(1, &access, nullptr, &acl) != ERROR_SUCCESS) {
        errno = EACCES;
        return -1;
    }
    std::wstring wide = WidePath(path);
    const DWORD result = SetNamedSecurityInfoW(
        wide.data(), SE_FILE_OBJECT,
        DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr, acl,
        nullptr);
    LocalFree(acl);
    if (result != ERROR_SUCCESS) {
        errno = ErrnoFromWin32(result);
        return -1;
    }
    return 0;
}
}  // namespace

int ChangeMode(int, const char* path, unsigned mode) {
    return (mode & 077u) == 0 ? RestrictToOwner(path) : 0;
}
int TruncateDescriptor(int fd, long long size) {
    const errno_t error = _chsize_s(fd, size);
    if (error == 0) return 0;
    errno = error;
    return -1;
}
int SyncData(int fd) {
    return _commit(fd);
}
int MakeFolder(const char* path) {
    return _wmkdir(WidePath(path).c_str());
}
// fopen would take the name in the ANSI code page, which holds few of the names a user has.
std::FILE* OpenToRead(const char* path) {
    return _wfopen(WidePath(path).c_str(), L"rb");
}

#else
#include <unistd.h>

QByteArray NativeName(const QString& path) {
    return QFile::encodeName(path);
}

int StatPath(const char* path, FileStat& info) {
    return ::stat(path, &info);
}
int LinkStatPath(const char* path, FileStat& info) {
    return ::lstat(path, &info);
}
int StatDescriptor(int fd, FileStat& info) {
    return ::fstat(fd, &info);
}
bool IsRegular(const FileStat& info) {
    return S_ISREG(info.st_mode);
}
bool IsFolder(const FileStat& info) {
    return S_ISDIR(info.st_mode);
}
bool IsLink(const FileStat& info) {
    return S_ISLNK(info.st_mode);
}
int ChangeMode(int fd, const char*, unsigned mode) {
    return ::fchmod(fd, static_cast<mode_t>(mode));
}
int TruncateDescriptor(int fd, long long size) {
    return ::ftruncate(fd, static_cast<off_t>(size));
}
int SyncData(int fd) {
    return ::fdatasync(fd);
}
int MakeFolder(const char* path) {
    return ::mkdir(path, 0777);
}
std::FILE* OpenToRead(const char* path) {
    return std::fopen(path, "rb");
}
#endif

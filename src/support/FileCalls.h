#pragma once
// The few file-system calls the writers make beyond FileSystemCalls, on POSIX and on
// Windows (wide paths: the names go in as UTF-8 there and are widened for the system).

#include <sys/stat.h>

#include <QByteArray>
#include <QString>
#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
// Not a flag of the C runtime's: FileSystemCalls::Open takes it to refuse, with ELOOP, a
// name that is a link (a reparse point), as O_NOFOLLOW does on POSIX.
#ifndef O_NOFOLLOW
#define O_NOFOLLOW 0x01000000
#endif
// What Windows has no use for.
#ifndef O_NOCTTY
#define O_NOCTTY 0
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_DIRECTORY
#define O_DIRECTORY 0
#endif
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif
#include <string>
using FileStat = struct _stat64;
// `native` (UTF-8) as a wide path.
std::wstring WidePath(const char* native);
// errno for a Win32 error code.
int ErrnoFromWin32(unsigned long code);
// Whether a reparse point with tag `tag` is a link: a symbolic link or a mount point
// (junction). Other tags mark files that stay where they are, such as OneDrive's.
bool IsLinkReparseTag(unsigned long tag);
// Whether the entry `path` (wide) names is a link in that sense, not followed.
bool IsLinkAt(const std::wstring& path);
#else
using FileStat = struct stat;
#endif

// The name of `path` as the calls below and FileSystemCalls take it.
QByteArray NativeName(const QString& path);

int StatPath(const char* path, FileStat& info);  // follows links
int LinkStatPath(const char* path, FileStat& info);  // does not
int StatDescriptor(int fd, FileStat& info);
bool IsRegular(const FileStat& info);
bool IsFolder(const FileStat& info);
// A symbolic link, as LinkStatPath reports it (never on Windows, whose stat follows links).
bool IsLink(const FileStat& info);
// Gives the file at `path` (open as `fd`) the permissions `mode`; on Windows an owner-only
// file gets a DACL that lets only the current user in, anything else keeps what it has.
int ChangeMode(int fd, const char* path, unsigned mode);
// Cuts the open file down to `size` bytes.
int TruncateDescriptor(int fd, long long size = 0);
// Puts the file's data (not all of its metadata) on the disk.
int SyncData(int fd);
int MakeFolder(const char* path);
// Opens the file at `path` for reading, in binary; nullptr with errno set when it cannot.
std::FILE* OpenToRead(const char* path);

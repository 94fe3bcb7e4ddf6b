#include "MemoryFile.h"

#include <stdio.h>  // fopencookie

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

ssize_t MemoryRead(void* cookie, char* buffer, size_t size) {
    auto& file = *static_cast<MemoryFile*>(cookie);
    const size_t n = std::min(size, file.bytes.size() - std::min(file.position, file.bytes.size()));
    if (n > 0) std::memcpy(buffer, file.bytes.data() + file.position, n);
    file.position += n;
    return static_cast<ssize_t>(n);
}

ssize_t MemoryWrite(void* cookie, const char* buffer, size_t size) {
    auto& file = *static_cast<MemoryFile*>(cookie);
    if (file.bytes.size() < file.position + size) file.bytes.resize(file.position + size);
    std::memcpy(file.bytes.data() + file.position, buffer, size);
    file.position += size;
    return static_cast<ssize_t>(size);
}

int MemorySeek(void* cookie, off64_t* offset, int whence) {
    auto& file = *static_cast<MemoryFile*>(cookie);
    off64_t base = 0;
    if (whence == SEEK_CUR) base = static_cast<off64_t>(file.position);
    if (whence == SEEK_END) base = static_cast<off64_t>(file.bytes.size());
    if (base + *offset < 0) return -1;
    file.position = static_cast<size_t>(base + *offset);
    *offset = static_cast<off64_t>(file.position);
    return 0;
}

int MemoryClose(void* cookie) {
    static_cast<MemoryFile*>(cookie)->open = false;
    return 0;
}

}  // namespace

std::FILE* OpenMemoryFile(MemoryFile& file, const char* mode) {
    file.position = 0;
    file.open = true;
    return fopencookie(&file, mode, {MemoryRead, MemoryWrite, MemorySeek, MemoryClose});
}

namespace {
constexpr int kMemoryDescriptor = 1000;
}

int MemoryFileSystem::Open(const char* /*path*/, int flags, unsigned /*mode*/) {
    if ((flags & O_CREAT) == 0) {  // the folder's sync: there is none to sync
        errno = ENOENT;
        return -1;
    }
    m_file.bytes.clear();
    m_file.position = 0;
    m_file.open = true;
    return kMemoryDescriptor;
}

long MemoryFileSystem::Write(int /*fd*/, const void* data, std::size_t size) {
    m_file.bytes.append(static_cast<const char*>(data), size);
    return static_cast<long>(size);
}

int MemoryFileSystem::Sync(int /*fd*/) { return 0; }

int MemoryFileSystem::Close(int /*fd*/) {
    m_file.open = false;
    return 0;
}

int MemoryFileSystem::Rename(const char* /*from*/, const char* /*to*/) {
    saved = m_file.bytes;
    ++saves;
    return 0;
}

int MemoryFileSystem::Unlink(const char* /*path*/) { return 0; }

int MemoryFileSystem::Link(const char* /*from*/, const char* /*to*/) {
    errno = EPERM;
    return -1;
}

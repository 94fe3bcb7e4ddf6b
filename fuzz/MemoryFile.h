#pragma once
// A local file in memory behind a stdio stream, so that the engine fuzz harness sees what
// the engine wrote to it and whether the engine closed it.

#include <cstddef>
#include <cstdio>
#include <string>

#include "support/SafeFile.h"

struct MemoryFile {
    std::string bytes;
    std::size_t position = 0;
    bool open = false;  // from OpenMemoryFile until the stream is closed
};

// The file system of a Read's target: the one file it creates is `file`; the rename that
// saves it copies the bytes to `saved`.
class MemoryFileSystem : public FileSystemCalls {
public:
    explicit MemoryFileSystem(MemoryFile& file) : m_file(file) {}
    std::string saved;
    int saves = 0;  // renames so far

    int Open(const char* path, int flags, unsigned mode) override;
    long Write(int fd, const void* data, std::size_t size) override;
    int Sync(int fd) override;
    int Close(int fd) override;
    int Rename(const char* from, const char* to) override;
    int Unlink(const char* path) override;
    int Link(const char* from, const char* to) override;

private:
    MemoryFile& m_file;
};

// A stream over `file` (mode as fopen's), positioned at its start. `file` must outlive it.
std::FILE* OpenMemoryFile(MemoryFile& file, const char* mode);

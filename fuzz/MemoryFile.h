#pragma once
// A local file in memory behind a stdio stream, so that the engine fuzz harness sees what
// the engine wrote to it and whether the engine closed it.

#include <cstddef>
#include <cstdio>
#include <string>

struct MemoryFile {
    std::string bytes;
    std::size_t position = 0;
    bool open = false;  // from OpenMemoryFile until the stream is closed
};

// A stream over `file` (mode as fopen's), positioned at its start. `file` must outlive it.
std::FILE* OpenMemoryFile(MemoryFile& file, const char* mode);

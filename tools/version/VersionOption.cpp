#include "VersionOption.h"

#include <cstdio>
#include <cstring>

#include "QuillbankVersion.h"

bool AnswerVersionOption(int argc, char** argv, const char* program) {
    if (argc != 2 || std::strcmp(argv[1], "--version") != 0) return false;
    std::printf("%s %s\n", program, QUILLBANK_VERSION);
    return true;
}

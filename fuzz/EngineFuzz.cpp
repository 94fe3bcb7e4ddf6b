// The slot engine fed by fuzzed device answers: connect, load, Read, Write and Remove, each
// answer chunked per receive tick (see EngineScript.h for the script's lines).

#include <cstdint>

#include "EngineScript.h"
#include "support/Trace.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static const bool quiet = [] {
        SetStandardOutputSink([](const QString&) {});
        SetDebugOutputSink([](const QString&) {});
        return true;
    }();
    static_cast<void>(quiet);
    RunEngineScript(data, size);
    return 0;
}

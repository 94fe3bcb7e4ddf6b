#include "engine/EngineState.h"

const char* EngineStateName(int state) {
    static constexpr const char* kNames[ENGINE_STATE_COUNT] = {
        "STATE_CLOSED",          "STATE_CONNECT",          "STATE_AWAIT_CONNECT",
        "STATE_LOAD_NEXT",       "STATE_LOAD_AWAIT_OPEN",  "STATE_LOAD_SEND_DATA",
        "STATE_LOAD_AWAIT_DATA", "STATE_LOAD_SEND_CLOSE",  "STATE_LOAD_AWAIT_CLOSE",
        "STATE_READY",           "STATE_REMOVE_SEND",      "STATE_REMOVE_AWAIT",
        "STATE_READ_SEND_OPEN",  "STATE_READ_AWAIT_OPEN",  "STATE_READ_SEND_DATA",
        "STATE_READ_AWAIT_DATA", "STATE_WRITE_SEND_OPEN",  "STATE_WRITE_AWAIT_OPEN",
        "STATE_WRITE_SEND_DATA", "STATE_WRITE_AWAIT_DATA", "STATE_DISCONNECT",
        "(not used)",            "STATE_SEND_CLOSE",       "STATE_AWAIT_CLOSE",
    };
    if (state < 0 || state >= ENGINE_STATE_COUNT) return "";
    return kNames[state];
}

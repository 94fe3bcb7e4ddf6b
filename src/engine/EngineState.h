#pragma once
// The engine's state numbers. Each flow occupies a contiguous range that the progress
// display relies on: 3-8 slot load, 12-15 Read, 16-19 Write.

enum EngineState : int {
    STATE_CLOSED = 0,
    STATE_CONNECT = 1,
    STATE_AWAIT_CONNECT = 2,
    STATE_LOAD_NEXT = 3,
    STATE_LOAD_AWAIT_OPEN = 4,
    STATE_LOAD_SEND_DATA = 5,
    STATE_LOAD_AWAIT_DATA = 6,
    STATE_LOAD_SEND_CLOSE = 7,
    STATE_LOAD_AWAIT_CLOSE = 8,
    STATE_READY = 9,
    STATE_REMOVE_SEND = 10,
    STATE_REMOVE_AWAIT = 11,
    STATE_READ_SEND_OPEN = 12,
    STATE_READ_AWAIT_OPEN = 13,
    STATE_READ_SEND_DATA = 14,
    STATE_READ_AWAIT_DATA = 15,
    STATE_WRITE_SEND_OPEN = 16,
    STATE_WRITE_AWAIT_OPEN = 17,
    STATE_WRITE_SEND_DATA = 18,
    STATE_WRITE_AWAIT_DATA = 19,
    STATE_DISCONNECT = 20,
    STATE_UNUSED_21 = 21,  // never set; its step does nothing
    STATE_SEND_CLOSE = 22,
    STATE_AWAIT_CLOSE = 23,
};

inline constexpr int ENGINE_STATE_COUNT = 24;

// "STATE_READY" for 9 and so on; "(not used)" for 21; "" outside 0..23.
const char* EngineStateName(int state);

#include "StepRules.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "engine/EngineState.h"

namespace {

// The states one step may lead to from each state. Response handlers judge every RES entry
// of a frame against the state as it stands when the entry is reached, so a frame with
// several RES fields can take a step further than one answer would (4 -> 14, 8 -> 9).
constexpr int kNoState = -1;
constexpr std::array<std::array<int, 5>, ENGINE_STATE_COUNT> kNextStates = {{
    {0, kNoState, kNoState, kNoState, kNoState},   // 0 closed
    {2, 20, kNoState, kNoState, kNoState},         // 1 connect: sent, or the open failed
    {2, 3, kNoState, kNoState, kNoState},          // 2 await connect
    {4, 9, kNoState, kNoState, kNoState},          // 3 load next
    {3, 4, 5, 9, 14},                              // 4 load await open
    {6, kNoState, kNoState, kNoState, kNoState},   // 5 load send data
    {5, 6, 7, 9, kNoState},                        // 6 load await data
    {8, kNoState, kNoState, kNoState, kNoState},   // 7 load send close
    {3, 8, 9, kNoState, kNoState},                 // 8 load await close
    {9, kNoState, kNoState, kNoState, kNoState},   // 9 ready
    {11, kNoState, kNoState, kNoState, kNoState},  // 10 remove send
    {9, 11, kNoState, kNoState, kNoState},         // 11 remove await
    {13, kNoState, kNoState, kNoState, kNoState},  // 12 read send open
    {9, 13, 14, kNoState, kNoState},               // 13 read await open
    {15, kNoState, kNoState, kNoState, kNoState},  // 14 read send data
    {9, 14, 15, 22, kNoState},                     // 15 read await data
    {17, kNoState, kNoState, kNoState, kNoState},  // 16 write send open
    {9, 17, 18, kNoState, kNoState},               // 17 write await open
    {19, 22, kNoState, kNoState, kNoState},        // 18 write send data
    {18, 19, 22, kNoState, kNoState},              // 19 write await data
    {0, kNoState, kNoState, kNoState, kNoState},   // 20 disconnect
    {21, kNoState, kNoState, kNoState, kNoState},  // 21 never set
    {23, kNoState, kNoState, kNoState, kNoState},  // 22 send close
    {9, 23, kNoState, kNoState, kNoState},         // 23 await close
}};

}  // namespace

bool MayStep(int from, int to) {
    if (from < 0 || from >= ENGINE_STATE_COUNT) return false;
    const auto& next = kNextStates[static_cast<std::size_t>(from)];
    return std::find(next.begin(), next.end(), to) != next.end();
}

bool SendsInState(int state) {
    switch (state) {
        case STATE_CONNECT:
        case STATE_LOAD_NEXT:
        case STATE_LOAD_SEND_DATA:
        case STATE_LOAD_SEND_CLOSE:
        case STATE_REMOVE_SEND:
        case STATE_READ_SEND_OPEN:
        case STATE_READ_SEND_DATA:
        case STATE_WRITE_SEND_OPEN:
        case STATE_WRITE_SEND_DATA:
        case STATE_SEND_CLOSE:
            return true;
        default:
            return false;
    }
}

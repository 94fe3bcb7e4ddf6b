#pragma once
// The one way tests and benchmarks describe a misbehaviour of the simulated device.

#include "DeviceSimulator.h"

// `kind` on the answers to `command` (-1: the kind's own command) for `slot` (-1: any),
// after `after` matching answers go out unharmed, `times` times (-1: every one).
inline SimFault Fault(FaultKind kind, int slot = -1, int after = 0, int times = 1,
                      int command = -1) {
    SimFault f;
    f.kind = kind;
    f.command = command;
    f.slot = slot;
    f.after = after;
    f.times = times;
    return f;
}

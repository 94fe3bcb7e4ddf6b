#pragma once
// What the benchmark programs share: their whole-number options and the simulated device
// they run against.

#include <QStringList>
#include <memory>

#include "DeviceSimulator.h"

// The value after option `name` in `args`, or `fallback` when it is absent or not a number.
int IntArgument(const QStringList& args, const char* name, int fallback);

// The sample set with `piece` bytes per read answer; with `fill`, data of 1 to 6144 bytes in
// slots 6 to 14 as well, which the sample set leaves empty. Null, after saying why on
// standard error, when the device cannot start.
std::unique_ptr<DeviceSimulator> StartBenchDevice(int piece, bool fill);

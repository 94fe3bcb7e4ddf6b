#pragma once
// Why a port could not be opened, said so that a user knows what to do about it.

#include <QString>

#include "link/CommPort.h"

// Where the installed package puts the rule that gives the logged-in user the device.
inline constexpr const char* UDEV_RULE_PATH = "/usr/lib/udev/rules.d/70-quillbank.rules";

// One line for `location` that failed to open with `error`: no permission names the udev
// rule and the group that owns the device node; a port in use says so.
QString DescribePortFailure(const QString& location, const PortOpenError& error);

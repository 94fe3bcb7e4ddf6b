#pragma once
// The serial port and the device listing of the system being built for: termios and
// QSerialPortInfo on Linux, the Win32 communications calls and SetupAPI on Windows.

#ifdef _WIN32
#include "link/SetupApiLister.h"
#include "link/Win32Port.h"
using PlatformPortProvider = Win32PortProvider;
using PlatformDeviceLister = SetupApiLister;
#else
#include "link/QtDeviceLister.h"
#include "link/TermiosPort.h"
using PlatformPortProvider = TermiosPortProvider;
using PlatformDeviceLister = QtDeviceLister;
#endif

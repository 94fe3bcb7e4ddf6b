#pragma once
// Device listing over Qt's serial port enumeration (udev on Linux, SetupAPI on Windows),
// with the USB ids taken from sysfs where udev has left them empty.

#include <QString>
#include <optional>

#include "link/DeviceDiscovery.h"

// What the system's enumeration says about one serial port.
struct SerialPortFacts {
    QString portName;     // ttyACM0, COM5
    QString location;     // /dev/ttyACM0, \\.\COM5
    QString description;  // "USB Serial Device"
    bool hasUsbIds = false;
    quint16 vendor = 0;
    quint16 product = 0;
    QString serialNumber;  // the USB device's serial number, when it reports one
};

class QtDeviceLister : public DeviceLister {
public:
    bool EnumerateComDevices(std::vector<ComDeviceInfo>& out) override;

    // The record for one port, or nothing for a port that is never listed (pseudo-terminals,
    // ports without a name). `sysfsRoot` is where class/tty lives (tests use their own tree).
    static std::optional<ComDeviceInfo> Describe(const SerialPortFacts& port,
                                                 const QString& sysfsRoot);

    // "USB\VID_%04X&PID_%04X".
    static QString HardwareId(quint16 vendor, quint16 product);

    // USB vendor and product ids of tty `name` from sysfs: the first directory at or above
    // <root>/class/tty/<name>/device that has idVendor and idProduct. False when there is none.
    static bool UsbIdsFromSysfs(const QString& sysfsRoot, const QString& name, quint16& vendor,
                                quint16& product);

    // Pseudo-terminals (/dev/pts/N, /dev/ptmx, BSD-style ptys) are never device ports.
    static bool IsPseudoTerminal(const QString& portName, const QString& location);
};

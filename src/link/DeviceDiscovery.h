#pragma once
// Device discovery: the serial ports present on the system with their USB identifiers, and
// the rule that picks the device's ports out of them.

#include <QString>
#include <QStringList>
#include <vector>

#include "link/CommPort.h"

// The device's exact USB hardware identifier.
inline constexpr char16_t DEVICE_HARDWARE_ID[] = u"USB\\VID_2E05&PID_2003";

struct ComDeviceInfo {
    QString friendlyName;     // description + " (" + port name + ")"
    QString portName;         // COM5, ttyACM0; never empty in a listed record
    QStringList hardwareIds;  // "USB\VID_%04X&PID_%04X"; none without USB ids
    QString location;         // what to open (/dev/ttyACM0, COM5)
    QString serialNumber = {};  // the USB serial number; empty where the system does not know it
};

class DeviceLister {
public:
    virtual ~DeviceLister() = default;
    // Empties `out`, then lists the present ports in the system's order. False when the
    // system gave no list at all.
    virtual bool EnumerateComDevices(std::vector<ComDeviceInfo>& out) = 0;
};

// The text from the first "COM" up to the first ")" after it; empty when either is missing.
QString PortNameFromFriendlyName(const QString& friendlyName);

// For every record in order, for every hardware id equal to DEVICE_HARDWARE_ID (exact,
// case-sensitive), its port: a device listing the id twice contributes twice.
std::vector<PortChoice> MatchingPorts(const std::vector<ComDeviceInfo>& devices);

#pragma once
// Device listing on Windows through SetupAPI: every present device of every class, its
// friendly name and hardware ids, the port name read out of the friendly name.

#include <QString>
#include <QStringList>

#include "link/DeviceDiscovery.h"

class SetupApiLister : public DeviceLister {
public:
    bool EnumerateComDevices(std::vector<ComDeviceInfo>& out) override;

    // The strings of a REG_MULTI_SZ value of `bytes` bytes: each up to its terminator, the
    // next right after it, up to the first empty one or the end of the data.
    static QStringList MultiStrings(const wchar_t* data, unsigned long bytes);
    // The USB serial number in a device instance id ("USB\VID_2E05&PID_2003\A1B2C3"): its
    // last part, unless Windows made that part up (it then holds '&').
    static QString SerialFromInstanceId(const QString& instanceId);
};

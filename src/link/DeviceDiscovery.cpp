#include "link/DeviceDiscovery.h"

QString PortNameFromFriendlyName(const QString& friendlyName) {
    const qsizetype start = friendlyName.indexOf(u"COM", 0, Qt::CaseSensitive);
    if (start < 0) return {};
    const qsizetype end = friendlyName.indexOf(u')', start);
    if (end < 0) return {};
    return friendlyName.mid(start, end - start);
}

std::vector<PortChoice> MatchingPorts(const std::vector<ComDeviceInfo>& devices) {
    const QStringView wanted(DEVICE_HARDWARE_ID);
    std::vector<PortChoice> ports;
    for (const ComDeviceInfo& device : devices) {
        for (const QString& id : device.hardwareIds) {
            if (QStringView(id).compare(wanted, Qt::CaseSensitive) == 0)
                ports.push_back({device.portName, device.location});
        }
    }
    return ports;
}

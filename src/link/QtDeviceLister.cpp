#include "link/QtDeviceLister.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>

#include "support/Text.h"

namespace {
bool ReadHexId(const QString& path, quint16& value) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    bool ok = false;
    const uint parsed = file.readAll().trimmed().toUInt(&ok, 16);
    if (!ok || parsed > 0xFFFF) return false;
    value = static_cast<quint16>(parsed);
    return true;
}
}  // namespace

QString QtDeviceLister::HardwareId(quint16 vendor, quint16 product) {
    return FormatWide("USB\\VID_%04X&PID_%04X", static_cast<unsigned>(vendor),
                      static_cast<unsigned>(product));
}

bool QtDeviceLister::UsbIdsFromSysfs(const QString& sysfsRoot, const QString& name,
                                     quint16& vendor, quint16& product) {
    const QString link = sysfsRoot + QStringLiteral("/class/tty/") + name +
                         QStringLiteral("/device");
    QString dir = QFileInfo(link).canonicalFilePath();
    if (dir.isEmpty()) return false;
    const QString stop = QFileInfo(sysfsRoot).canonicalFilePath();
    // The tty's device is a USB interface; the ids live on the USB device above it.
    for (int level = 0; level < 4 && !dir.isEmpty() && dir != stop; ++level) {
        quint16 v = 0, p = 0;
        if (ReadHexId(dir + QStringLiteral("/idVendor"), v) &&
            ReadHexId(dir + QStringLiteral("/idProduct"), p)) {
            vendor = v;
            product = p;
            return true;
        }
        const QString parent = QFileInfo(dir).path();
        if (parent == dir) break;
        dir = parent;
    }
    return false;
}

bool QtDeviceLister::IsPseudoTerminal(const QString& portName, const QString& location) {
    static const QRegularExpression bsdPty(QStringLiteral("^(pty|tty)[p-za-e][0-9a-f]$"));
    return location.startsWith(QStringLiteral("/dev/pts/")) ||
           portName.startsWith(QStringLiteral("pts/")) || portName == QStringLiteral("ptmx") ||
           bsdPty.match(portName).hasMatch();
}

std::optional<ComDeviceInfo> QtDeviceLister::Describe(const SerialPortFacts& port,
                                                      const QString& sysfsRoot) {
    const QString& name = port.portName;
    const QString& location = port.location;
    if (name.isEmpty() || IsPseudoTerminal(name, location)) return std::nullopt;

    ComDeviceInfo info;
    info.friendlyName = port.description + QStringLiteral(" (") + name + QStringLiteral(")");
#ifdef Q_OS_WIN
    // There the friendly name carries the COM port, and the port is read out of it.
    info.portName = PortNameFromFriendlyName(info.friendlyName);
    if (info.portName.isEmpty()) return std::nullopt;
#else
    // Unix port names (ttyACM0) carry no "COM"; the system's own name is the port name.
    info.portName = name;
#endif
    info.location = location;
    info.serialNumber = port.serialNumber;

    quint16 vendor = 0, product = 0;
    bool haveIds = port.hasUsbIds;
    if (haveIds) {
        vendor = port.vendor;
        product = port.product;
    } else {
        haveIds = UsbIdsFromSysfs(sysfsRoot, name, vendor, product);
    }
    if (haveIds) info.hardwareIds.append(HardwareId(vendor, product));
    return info;
}

bool QtDeviceLister::EnumerateComDevices(std::vector<ComDeviceInfo>& out) {
    out.clear();
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& port : ports) {
        SerialPortFacts facts;
        facts.portName = port.portName();
        facts.location = port.systemLocation();
        facts.description = port.description();
        facts.hasUsbIds = port.hasVendorIdentifier() && port.hasProductIdentifier();
        facts.vendor = port.vendorIdentifier();
        facts.product = port.productIdentifier();
        facts.serialNumber = port.serialNumber();
        if (std::optional<ComDeviceInfo> info = Describe(facts, QStringLiteral("/sys")))
            out.push_back(std::move(*info));
    }
    return true;
}

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "link/DeviceDiscovery.h"
#include "link/QtDeviceLister.h"

namespace {
const QString kId = QString::fromUtf16(DEVICE_HARDWARE_ID);

ComDeviceInfo Device(const QString& port, QStringList ids) {
    ComDeviceInfo d;
    d.friendlyName = QStringLiteral("USB Serial Device (") + port + QStringLiteral(")");
    d.portName = port;
    d.hardwareIds = std::move(ids);
    d.location = QStringLiteral("/dev/") + port;
    return d;
}

QStringList Names(const std::vector<PortChoice>& ports) {
    QStringList names;
    for (const PortChoice& p : ports) names << p.name;
    return names;
}

bool WriteFile(const QString& path, const QByteArray& content) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}
}  // namespace

TEST(PortNameFromFriendlyName, TakesFromFirstComUpToTheFollowingParenthesis) {
    EXPECT_EQ(PortNameFromFriendlyName(QStringLiteral("USB Serial Device (COM5)")),
              QStringLiteral("COM5"));
    EXPECT_EQ(PortNameFromFriendlyName(QStringLiteral("Device (COM10) extra)")),
              QStringLiteral("COM10"));
    // An earlier "COM" inside a word wins, exactly as the rule says.
    EXPECT_EQ(PortNameFromFriendlyName(QStringLiteral("XCOMM Port (COM7)")),
              QStringLiteral("COMM Port (COM7"));
}

TEST(PortNameFromFriendlyName, EmptyWithoutComOrClosingParenthesis) {
    EXPECT_EQ(PortNameFromFriendlyName(QString()), QString());
    EXPECT_EQ(PortNameFromFriendlyName(QStringLiteral("USB Serial Device (ttyACM0)")), QString());
    EXPECT_EQ(PortNameFromFriendlyName(QStringLiteral("Device (COM5")), QString());
    EXPECT_EQ(PortNameFromFriendlyName(QStringLiteral("Port) COM3")), QString());
    EXPECT_EQ(PortNameFromFriendlyName(QStringLiteral("Device (com5)")), QString());
}

TEST(MatchingPorts, ExactIdentifierOnlyInScanOrder) {
    const std::vector<ComDeviceInfo> devices = {
        Device(QStringLiteral("COM9"), {kId}),
        Device(QStringLiteral("COM3"), {QStringLiteral("USB\\VID_1234&PID_5678")}),
        Device(QStringLiteral("COM4"), {kId.toLower()}),
        Device(QStringLiteral("COM6"), {}),
        Device(QStringLiteral("COM10"), {kId}),
    };
    const std::vector<PortChoice> ports = MatchingPorts(devices);
    // Sorting is the port list's business; here the scan order stands.
    EXPECT_EQ(Names(ports), (QStringList{QStringLiteral("COM9"), QStringLiteral("COM10")}));
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[1].location, QStringLiteral("/dev/COM10"));
}

TEST(MatchingPorts, RevisionSuffixNeverMatchesButALaterExactIdDoes) {
    const QString withRevision = kId + QStringLiteral("&REV_0100");
    EXPECT_TRUE(MatchingPorts({Device(QStringLiteral("COM5"), {withRevision})}).empty());
    EXPECT_TRUE(MatchingPorts({Device(QStringLiteral("COM5"), {kId + QStringLiteral("&MI_00")})})
                    .empty());
    EXPECT_TRUE(MatchingPorts({Device(QStringLiteral("COM5"), {kId.left(kId.size() - 1)})})
                    .empty());
    EXPECT_EQ(Names(MatchingPorts({Device(QStringLiteral("COM5"), {withRevision, kId})})),
              QStringList{QStringLiteral("COM5")});
}

TEST(MatchingPorts, DeviceListingTheIdTwiceContributesTwice) {
    EXPECT_EQ(Names(MatchingPorts({Device(QStringLiteral("COM5"), {kId, kId})})),
              (QStringList{QStringLiteral("COM5"), QStringLiteral("COM5")}));
}

TEST(QtDeviceLister, BuildsTheRecordFromWhatTheSystemReports) {
    SerialPortFacts facts;
    facts.portName = QStringLiteral("ttyACM0");
    facts.location = QStringLiteral("/dev/ttyACM0");
    facts.description = QStringLiteral("Field Device");
    facts.hasUsbIds = true;
    facts.vendor = 0x2E05;
    facts.product = 0x2003;
    const auto info = QtDeviceLister::Describe(facts, QStringLiteral("/nonexistent"));
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->friendlyName, QStringLiteral("Field Device (ttyACM0)"));
    EXPECT_EQ(info->portName, QStringLiteral("ttyACM0"));
    EXPECT_EQ(info->location, QStringLiteral("/dev/ttyACM0"));
    EXPECT_EQ(info->hardwareIds, QStringList{kId});
    EXPECT_EQ(MatchingPorts({*info}).size(), 1u);

    EXPECT_EQ(QtDeviceLister::HardwareId(0xabcd, 0x0001), QStringLiteral("USB\\VID_ABCD&PID_0001"));
}

TEST(QtDeviceLister, PortWithoutUsbIdsHasNoHardwareIds) {
    SerialPortFacts facts;
    facts.portName = QStringLiteral("ttyS0");
    facts.location = QStringLiteral("/dev/ttyS0");
    const auto info = QtDeviceLister::Describe(facts, QStringLiteral("/nonexistent"));
    ASSERT_TRUE(info.has_value());
    EXPECT_TRUE(info->hardwareIds.isEmpty());
    EXPECT_EQ(info->friendlyName, QStringLiteral(" (ttyS0)"));
}

TEST(QtDeviceLister, PseudoTerminalsAreNeverListed) {
    for (const auto& [name, location] :
         {std::pair{QStringLiteral("pts/3"), QStringLiteral("/dev/pts/3")},
          std::pair{QStringLiteral("3"), QStringLiteral("/dev/pts/3")},
          std::pair{QStringLiteral("ptmx"), QStringLiteral("/dev/ptmx")},
          std::pair{QStringLiteral("ttyp0"), QStringLiteral("/dev/ttyp0")}}) {
        SerialPortFacts facts;
        facts.portName = name;
        facts.location = location;
        facts.hasUsbIds = true;
        facts.vendor = 0x2E05;
        facts.product = 0x2003;
        EXPECT_FALSE(QtDeviceLister::Describe(facts, QStringLiteral("/sys")).has_value())
            << location.toStdString();
    }
    EXPECT_FALSE(QtDeviceLister::IsPseudoTerminal(QStringLiteral("ttyACM0"),
                                                  QStringLiteral("/dev/ttyACM0")));
    EXPECT_FALSE(QtDeviceLister::IsPseudoTerminal(QStringLiteral("ttyS1"),
                                                  QStringLiteral("/dev/ttyS1")));
}

TEST(QtDeviceLister, ReadsUsbIdsFromSysfsAboveTheTtyWhenUdevHasNone) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString base = root.path();
    // class/tty/ttyACM0/device -> the USB interface; the ids sit on the USB device above it.
    const QString usbDevice = base + QStringLiteral("/devices/pci0000:00/usb1/1-2");
    const QString usbInterface = usbDevice + QStringLiteral("/1-2:1.0");
    ASSERT_TRUE(QDir().mkpath(usbInterface));
    ASSERT_TRUE(WriteFile(usbDevice + QStringLiteral("/idVendor"), "2e05\n"));
    ASSERT_TRUE(WriteFile(usbDevice + QStringLiteral("/idProduct"), "2003\n"));
    ASSERT_TRUE(QDir().mkpath(base + QStringLiteral("/class/tty/ttyACM0")));
    ASSERT_TRUE(QFile::link(usbInterface, base + QStringLiteral("/class/tty/ttyACM0/device")));
    // A tty with no device link at all, and one under a device without USB ids.
    ASSERT_TRUE(QDir().mkpath(base + QStringLiteral("/class/tty/ttyS0")));

    quint16 vendor = 0, product = 0;
    ASSERT_TRUE(QtDeviceLister::UsbIdsFromSysfs(base, QStringLiteral("ttyACM0"), vendor, product));
    EXPECT_EQ(vendor, 0x2E05);
    EXPECT_EQ(product, 0x2003);
    EXPECT_FALSE(QtDeviceLister::UsbIdsFromSysfs(base, QStringLiteral("ttyS0"), vendor, product));
    EXPECT_FALSE(QtDeviceLister::UsbIdsFromSysfs(base, QStringLiteral("ttyUSB9"), vendor, product));

    SerialPortFacts facts;
    facts.portName = QStringLiteral("ttyACM0");
    facts.location = QStringLiteral("/dev/ttyACM0");
    facts.description = QStringLiteral("Field Device");
    const auto info = QtDeviceLister::Describe(facts, base);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->hardwareIds, QStringList{kId});
}

TEST(QtDeviceLister, SystemListingLeavesOutAnOpenPty) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const QString slave = QString::fromLocal8Bit(::ptsname(master));

    QtDeviceLister lister;
    std::vector<ComDeviceInfo> devices = {Device(QStringLiteral("stale"), {kId})};
    EXPECT_TRUE(lister.EnumerateComDevices(devices));
    for (const ComDeviceInfo& d : devices) {
        EXPECT_NE(d.portName, QStringLiteral("stale")) << "the list is emptied first";
        EXPECT_NE(d.location, slave);
        EXPECT_FALSE(d.location.startsWith(QStringLiteral("/dev/pts/")));
        EXPECT_FALSE(d.portName.isEmpty());
    }
    ::close(master);
}

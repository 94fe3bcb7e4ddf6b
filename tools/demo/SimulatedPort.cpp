#include "SimulatedPort.h"

#include <QSocketNotifier>

#include "DeviceSimulator.h"

bool ListedPortLister::EnumerateComDevices(std::vector<ComDeviceInfo>& out) {
    out.clear();
    const QString name = PortNameFor(m_location);
    out.push_back({QStringLiteral("Simulated device (") + name + QStringLiteral(")"), name,
                   {QString::fromUtf16(DEVICE_HARDWARE_ID)}, m_location});
    return true;
}

QString ListedPortLister::PortNameFor(const QString& location) {
    const QString prefix = QStringLiteral("/dev/");
    return location.startsWith(prefix) ? location.mid(prefix.size()) : location;
}

SimulatorPump::SimulatorPump(DeviceSimulator& device) : m_device(device) {
    if (m_device.MasterFd() >= 0) {
        m_notifier = std::make_unique<QSocketNotifier>(m_device.MasterFd(), QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { Poll(); });
    }
    connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
    m_timer.start(20);
}

SimulatorPump::~SimulatorPump() = default;

void SimulatorPump::Poll() {
    if (m_device.MasterFd() < 0) {
        // The device has gone (a vanish fault): nothing will be readable again.
        if (m_notifier) m_notifier->setEnabled(false);
        return;
    }
    m_device.Poll();
}

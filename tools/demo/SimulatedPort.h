#pragma once
// A port that is not a USB device, presented to the window as the device: a lister that
// reports one port with the device's identifier, and a pump that keeps an in-process
// simulator answering.

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

#include "link/DeviceDiscovery.h"

class DeviceSimulator;
class QSocketNotifier;

class ListedPortLister : public DeviceLister {
public:
    explicit ListedPortLister(QString location) : m_location(std::move(location)) {}
    bool EnumerateComDevices(std::vector<ComDeviceInfo>& out) override;

    // The name shown for a location: "/dev/pts/5" reads "pts/5".
    static QString PortNameFor(const QString& location);

private:
    QString m_location;
};

// Polls the simulator whenever the host has written and on a short timer (split answers).
class SimulatorPump : public QObject {
public:
    explicit SimulatorPump(DeviceSimulator& device);
    ~SimulatorPump() override;

private:
    void Poll();

    DeviceSimulator& m_device;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_timer;
};

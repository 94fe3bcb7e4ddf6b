#pragma once
// A simulated device answering on its own thread, for code that blocks between ticks (the
// command-line session). Read the device only after Stop().

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <thread>

#include "DeviceSimulator.h"

class SimThread {
public:
    explicit SimThread(SimOptions options) : device(std::move(options)) {}
    ~SimThread() { Stop(); }
    SimThread(const SimThread&) = delete;
    SimThread& operator=(const SimThread&) = delete;

    // `prepare` runs after the device has its content and before it answers.
    bool Start(const std::function<void(DeviceSimulator&)>& prepare = {}) {
        if (!device.Open()) return false;
        if (prepare) prepare(device);
        m_thread = std::thread([this] {
            while (!m_stop) {
                if (device.MasterFd() < 0) {
                    ::usleep(2000);
                    continue;
                }
                pollfd p{device.MasterFd(), POLLIN, 0};
                (void)::poll(&p, 1, device.MillisecondsToNextWork(2));
                device.Poll();
            }
        });
        return true;
    }
    void Stop() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
    }

    DeviceSimulator device;

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

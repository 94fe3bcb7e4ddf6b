#pragma once
// A port list that tests change between scans.

#include <vector>

#include "link/DeviceDiscovery.h"

class FakeDeviceLister : public DeviceLister {
public:
    std::vector<ComDeviceInfo> devices;
    bool fail = false;
    int scans = 0;

    bool EnumerateComDevices(std::vector<ComDeviceInfo>& out) override {
        ++scans;
        out.clear();
        if (fail) return false;
        out = devices;
        return true;
    }
};

#include "link/SetupApiLister.h"

// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

#include <algorithm>
#include <array>

namespace {
// GUID_DEVINTERFACE_COMPORT; with DIGCF_ALLCLASSES it does not narrow the set.
constexpr GUID kComPortInterface = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
// Each property is read into 256 bytes, zero-filled first; one that does not fit is empty.
constexpr DWORD kPropertyBytes = 256;
}  // namespace

QStringList SetupApiLister::MultiStrings(const wchar_t* data, unsigned long bytes) {
    QStringList strings;
    const size_t count = bytes / sizeof(wchar_t);
    size_t at = 0;
    while (at < count && data[at] != L'\0') {
        size_t end = at;
        while (end < count && data[end] != L'\0') ++end;
        strings << QString::fromWCharArray(data + at, static_cast<qsizetype>(end - at));
        at = end + 1;
    }
    return strings;
}

QString SetupApiLister::SerialFromInstanceId(const QString& instanceId) {
    const QStringList parts = instanceId.split(u'\\');
    if (parts.size() < 3 || !parts.front().startsWith(QStringLiteral("USB"), Qt::CaseInsensitive))
        return {};
    const QString last = parts.back();
    return last.contains(u'&') ? QString() : last;
}

bool SetupApiLister::EnumerateComDevices(std::vector<ComDeviceInfo>& out) {
    out.clear();
    const HDEVINFO set =
        SetupDiGetClassDevsW(&kComPortInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) return false;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof(SP_DEVINFO_DATA);
        if (!SetupDiEnumDeviceInfo(set, index, &device)) break;

        std::array<wchar_t, kPropertyBytes / sizeof(wchar_t)> buffer{};
        SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_FRIENDLYNAME, nullptr,
                                          reinterpret_cast<BYTE*>(buffer.data()), kPropertyBytes,
                                          nullptr);
        buffer.back() = L'\0';
        ComDeviceInfo info;
        info.friendlyName = QString::fromWCharArray(buffer.data());
        info.portName = PortNameFromFriendlyName(info.friendlyName);

        buffer.fill(L'\0');
        DWORD size = 0;
        SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, nullptr,
                                          reinterpret_cast<BYTE*>(buffer.data()), kPropertyBytes,
                                          &size);
        info.hardwareIds = MultiStrings(buffer.data(), std::min<DWORD>(size, kPropertyBytes));

        // Beyond the listing itself: the serial number, for a station of several devices.
        std::array<wchar_t, 512> instance{};
        if (SetupDiGetDeviceInstanceIdW(set, &device, instance.data(),
                                        static_cast<DWORD>(instance.size()), nullptr))
            info.serialNumber = SerialFromInstanceId(QString::fromWCharArray(instance.data()));

        if (info.portName.isEmpty()) continue;
        info.location = info.portName;
        out.push_back(std::move(info));
    }
    SetupDiDestroyDeviceInfoList(set);
    return true;
}

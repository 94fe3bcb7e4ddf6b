// The Win32 port's settings and the SetupAPI listing's parsing, as values: a pseudo-terminal
// behind wine's COM mapping cannot take 7E1 or modem lines, so these are checked here.

#include <gtest/gtest.h>

#include "link/SetupApiLister.h"
#include "link/Win32Port.h"

TEST(Win32Port, LineSettingsChangeOnlyWhatTheDeviceNeeds) {
    DCB before{};
    before.DCBlength = sizeof(DCB);
    before.BaudRate = 9600;
    before.ByteSize = 8;
    before.Parity = NOPARITY;
    before.StopBits = TWOSTOPBITS;
    before.fOutxCtsFlow = TRUE;
    before.fOutxDsrFlow = TRUE;
    before.fDtrControl = DTR_CONTROL_HANDSHAKE;
    before.fRtsControl = RTS_CONTROL_HANDSHAKE;
    before.fBinary = TRUE;
    before.fOutX = TRUE;
    before.XonChar = 0x11;
    before.EofChar = 0x1A;
    const DCB after = Win32LineSettings(before);
    EXPECT_EQ(after.BaudRate, 115200u);
    EXPECT_EQ(after.ByteSize, 7);
    EXPECT_EQ(after.Parity, EVENPARITY);
    EXPECT_EQ(after.StopBits, ONESTOPBIT);
    EXPECT_FALSE(after.fOutxCtsFlow);
    EXPECT_FALSE(after.fOutxDsrFlow);
    EXPECT_EQ(after.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_EQ(after.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
    // Everything else as the port reported it.
    EXPECT_TRUE(after.fBinary);
    EXPECT_TRUE(after.fOutX);
    EXPECT_EQ(after.XonChar, 0x11);
    EXPECT_EQ(after.EofChar, 0x1A);
    EXPECT_EQ(after.DCBlength, sizeof(DCB));

    const COMMTIMEOUTS t = Win32Timeouts();
    EXPECT_EQ(t.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 100u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 10u);
}

TEST(Win32Port, NamesAndReasons) {
    EXPECT_EQ(ComDevicePath(QStringLiteral("COM5")), std::wstring(L"\\\\.\\COM5"));
    EXPECT_EQ(ComDevicePath(QStringLiteral("\\\\.\\COM12")), std::wstring(L"\\\\.\\COM12"));
    struct Case {
        DWORD code;
        PortOpenFailure failure;
    };
    for (const Case& c : {Case{ERROR_FILE_NOT_FOUND, PortOpenFailure::Missing},
                          Case{ERROR_ACCESS_DENIED, PortOpenFailure::InUse},
                          Case{ERROR_SHARING_VIOLATION, PortOpenFailure::InUse},
                          Case{ERROR_GEN_FAILURE, PortOpenFailure::Other}})
        EXPECT_EQ(Win32OpenError(c.code).failure, c.failure) << c.code;
    EXPECT_EQ(PortClaimName(QStringLiteral("COM5")), std::wstring(L"Local\\Quillbank.port.COM5"));
    EXPECT_EQ(PortClaimName(QStringLiteral("\\\\.\\com5")), PortClaimName(QStringLiteral("COM5")));
}

// A port another of our programs holds is refused as in use before the port is touched; a
// port that cannot be opened leaves no claim behind.
TEST(Win32Port, ClaimedPortIsInUseAndAFailedOpenLeavesNoClaim) {
    const QString port = QStringLiteral("COM98");
    PortOpenError error;
    EXPECT_EQ(Win32Port::OpenPath(port, &error), nullptr);
    EXPECT_EQ(error.failure, PortOpenFailure::Missing);
    EXPECT_EQ(Win32Port::OpenPath(port, &error), nullptr);
    EXPECT_EQ(error.failure, PortOpenFailure::Missing) << "the first open left its claim";

    const HANDLE other = CreateMutexW(nullptr, FALSE, PortClaimName(port).c_str());
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(Win32Port::OpenPath(port, &error), nullptr);
    EXPECT_EQ(error.failure, PortOpenFailure::InUse);
    CloseHandle(other);
    EXPECT_EQ(Win32Port::OpenPath(port, &error), nullptr);
    EXPECT_EQ(error.failure, PortOpenFailure::Missing);
}

TEST(SetupApiLister, HardwareIdsAndSerialNumbers) {
    const wchar_t ids[] = L"USB\\VID_2E05&PID_2003&REV_0100\0USB\\VID_2E05&PID_2003\0\0junk";
    EXPECT_EQ(SetupApiLister::MultiStrings(ids, sizeof ids),
              (QStringList{QStringLiteral("USB\\VID_2E05&PID_2003&REV_0100"),
                           QStringLiteral("USB\\VID_2E05&PID_2003")}));
    // Data that ends without a terminator ends the last string there.
    EXPECT_EQ(SetupApiLister::MultiStrings(ids, 6 * sizeof(wchar_t)),
              QStringList{QStringLiteral("USB\\VI")});
    EXPECT_TRUE(SetupApiLister::MultiStrings(ids + 52, 2 * sizeof(wchar_t)).isEmpty());

    EXPECT_EQ(SetupApiLister::SerialFromInstanceId(QStringLiteral("USB\\VID_2E05&PID_2003\\A1B2C3")),
              QStringLiteral("A1B2C3"));
    EXPECT_TRUE(SetupApiLister::SerialFromInstanceId(QStringLiteral("USB\\VID_2E05&PID_2003\\5&2A3B&0&1"))
                    .isEmpty());
    EXPECT_TRUE(SetupApiLister::SerialFromInstanceId(QStringLiteral("ACPI\\PNP0501\\1")).isEmpty());
}

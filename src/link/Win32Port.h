#pragma once
// The serial port on Win32: CreateFileW on \\.\COMn with no sharing, the device's line
// settings through GetCommState/SetCommState, the read and write time-outs through
// SetCommTimeouts, PurgeComm, EscapeCommFunction for RTS, synchronous ReadFile/WriteFile.

#include <windows.h>

#include <QString>
#include <memory>

#include "link/CommPort.h"

// The line the device speaks, on top of the settings the port reported: 115200 baud, 7
// data bits, even parity, one stop bit, no CTS or DSR flow control, DTR and RTS disabled;
// every other field as it was.
DCB Win32LineSettings(const DCB& current);
// A read returns within about 100 ms with what has arrived; a write gives up after 10 ms.
COMMTIMEOUTS Win32Timeouts();
// "\\.\COM5" for "COM5" (a name already in that form is kept).
std::wstring ComDevicePath(const QString& location);
// The name of the mutex by which our programs claim a port ("Local\Quillbank.port.COM5"),
// the same for every spelling of the port's name.
std::wstring PortClaimName(const QString& location);
// Why CreateFileW failed, from its GetLastError code.
PortOpenError Win32OpenError(DWORD code);

class Win32Port : public CommPort {
public:
    // Opens the port exclusively (share mode 0: a second program is refused). Not every
    // serial driver refuses a second opener (wine's does not), so the port is also claimed
    // by name while it is open: a second Quillbank program is refused by either. Null when
    // it cannot be opened, with the reason in `error` when one is given.
    static std::unique_ptr<Win32Port> OpenPath(const QString& location,
                                               PortOpenError* error = nullptr);
    Win32Port(HANDLE handle, HANDLE claim) : m_handle(handle), m_claim(claim) {}
    ~Win32Port() override;
    Win32Port(const Win32Port&) = delete;
    Win32Port& operator=(const Win32Port&) = delete;

    bool GetState() override;
    void Purge() override;
    bool SetState() override;
    bool GetTimeouts() override;
    bool SetTimeouts() override;
    void RaiseRts() override;
    bool Read(char* buffer, int capacity, int& count) override;
    void Write(const char* data, int length) override;

private:
    HANDLE m_handle;
    HANDLE m_claim;             // the named mutex, held while the port is open
    DCB m_dcb{};                // as read by GetState, then changed by SetState
    COMMTIMEOUTS m_timeouts{};  // as read by GetTimeouts
};

class Win32PortProvider : public CommPortProvider {
public:
    std::unique_ptr<CommPort> Open(const QString& location) override;
    PortOpenError LastOpenError() const override { return m_lastError; }

private:
    PortOpenError m_lastError;
};

#pragma once
// The serial port on POSIX termios. Every step of opening and configuring it is its own
// call, as the engine expects; settings that a pseudo-terminal refuses (it keeps 8N1 and has
// no modem lines) are ignored so that tests can run the real link on a pty.

#include <termios.h>

#include <QString>
#include <memory>

#include "link/CommPort.h"

// The line the device speaks, on top of the settings the port reported: raw, 115200 baud,
// 7 data bits, even parity, one stop bit, no hardware or software flow control, receiver on,
// modem status lines ignored.
termios LineSettings(const termios& current);

class TermiosPort : public CommPort {
public:
    // Opens `path` for reading and writing, without becoming its controlling terminal,
    // non-blocking, and claims it exclusively. Null when it cannot be opened, with the
    // reason in `error` when one is given.
    static std::unique_ptr<TermiosPort> OpenPath(const QString& path,
                                                 PortOpenError* error = nullptr);

    // Takes ownership of an open descriptor.
    explicit TermiosPort(int fd);
    ~TermiosPort() override;
    TermiosPort(const TermiosPort&) = delete;
    TermiosPort& operator=(const TermiosPort&) = delete;

    bool GetState() override;
    void Purge() override;
    bool SetState() override;
    bool GetTimeouts() override;
    bool SetTimeouts() override;
    void RaiseRts() override;
    bool Read(char* buffer, int capacity, int& count) override;
    void Write(const char* data, int length) override;
    void WaitForInput(int timeoutMs) override;

    // The descriptor, for waiting on it (benchmarks, tests); the port keeps ownership.
    int Descriptor() const { return m_fd; }

    // Longest time one Write may take before it gives up on the rest of the frame.
    static constexpr int WRITE_TIMEOUT_MS = 10;

protected:
    // What the line's driver is asked to do beyond its settings; tests record these calls.
    virtual void FlushQueues(int queues);
    virtual void ChangeModemLine(int line, bool raise);

private:
    int m_fd;
    termios m_settings{};  // as read by GetState, then changed by SetState
    int m_fileFlags = 0;   // as read by GetTimeouts
};

class TermiosPortProvider : public CommPortProvider {
public:
    std::unique_ptr<CommPort> Open(const QString& location) override;
    PortOpenError LastOpenError() const override { return m_lastError; }

private:
    PortOpenError m_lastError;
};

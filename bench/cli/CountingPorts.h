#pragma once
// Serial ports that count the bytes crossing them: what the host writes and what it reads.

#include <atomic>
#include <memory>

#include "link/TermiosPort.h"

// Counted from the sessions of several devices at once.
struct LineCount {
    std::atomic<long long> toDevice = 0;
    std::atomic<long long> fromDevice = 0;
};

class CountingPort : public CommPort {
public:
    CountingPort(std::unique_ptr<CommPort> port, LineCount& count)
        : m_port(std::move(port)), m_count(count) {}
    bool GetState() override { return m_port->GetState(); }
    void Purge() override { m_port->Purge(); }
    bool SetState() override { return m_port->SetState(); }
    bool GetTimeouts() override { return m_port->GetTimeouts(); }
    bool SetTimeouts() override { return m_port->SetTimeouts(); }
    void RaiseRts() override { m_port->RaiseRts(); }
    bool Read(char* buffer, int capacity, int& count) override {
        const bool ok = m_port->Read(buffer, capacity, count);
        if (ok) m_count.fromDevice += count;
        return ok;
    }
    void Write(const char* data, int length) override {
        m_port->Write(data, length);
        m_count.toDevice += length;
    }
    void WaitForInput(int timeoutMs) override { m_port->WaitForInput(timeoutMs); }

private:
    std::unique_ptr<CommPort> m_port;
    LineCount& m_count;
};

class CountingPorts : public CommPortProvider {
public:
    std::unique_ptr<CommPort> Open(const QString& location) override {
        std::unique_ptr<CommPort> port = m_ports.Open(location);
        if (!port) return nullptr;
        return std::make_unique<CountingPort>(std::move(port), count);
    }
    PortOpenError LastOpenError() const override { return m_ports.LastOpenError(); }

    LineCount count;

private:
    TermiosPortProvider m_ports;
};

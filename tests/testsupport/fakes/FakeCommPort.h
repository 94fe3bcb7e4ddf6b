#pragma once
// An in-memory serial port: records every write, hands out queued incoming bytes one read
// at a time, and can fail any step of opening or any read.

#include <QString>
#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "link/CommPort.h"

struct FakeLine {
    // What the host wrote, one entry per Write call.
    std::vector<std::string> writes;
    // What the next reads return; each entry is one read's bytes (may be empty).
    std::deque<std::string> incoming;
    // Each true entry makes one read fail (hang-up) before `incoming` is consulted.
    std::deque<bool> readFailures;
    bool unplugged = false;  // every read fails
    bool failGetState = false, failSetState = false;
    bool failGetTimeouts = false, failSetTimeouts = false;
    bool purged = false, rtsRaised = false, closed = false;
    int reads = 0;
    // The steps of opening and configuring, in the order they were taken.
    std::vector<std::string> steps;
};

class FakeCommPort : public CommPort {
public:
    explicit FakeCommPort(std::shared_ptr<FakeLine> line) : m_line(std::move(line)) {}
    ~FakeCommPort() override { m_line->closed = true; }

    bool GetState() override { return Step("GetState", !m_line->failGetState); }
    void Purge() override { m_line->purged = Step("Purge", true); }
    bool SetState() override { return Step("SetState", !m_line->failSetState); }
    bool GetTimeouts() override { return Step("GetTimeouts", !m_line->failGetTimeouts); }
    bool SetTimeouts() override { return Step("SetTimeouts", !m_line->failSetTimeouts); }
    void RaiseRts() override { m_line->rtsRaised = Step("RaiseRts", true); }

    bool Read(char* buffer, int capacity, int& count) override {
        ++m_line->reads;
        count = 0;
        if (m_line->unplugged) return false;
        if (!m_line->readFailures.empty()) {
            const bool fail = m_line->readFailures.front();
            m_line->readFailures.pop_front();
            if (fail) return false;
        }
        if (m_line->incoming.empty() || capacity <= 0) return true;
        std::string& next = m_line->incoming.front();
        const size_t n = std::min(next.size(), static_cast<size_t>(capacity));
        next.copy(buffer, n);
        next.erase(0, n);
        if (next.empty()) m_line->incoming.pop_front();
        count = static_cast<int>(n);
        return true;
    }
    void Write(const char* data, int length) override {
        m_line->writes.emplace_back(data, static_cast<size_t>(length));
    }

private:
    bool Step(const char* name, bool result) {
        m_line->steps.emplace_back(name);
        return result;
    }

    std::shared_ptr<FakeLine> m_line;
};

class FakePortProvider : public CommPortProvider {
public:
    std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
    bool failOpen = false;
    PortOpenError openError;  // what a failed open reports as its reason
    std::vector<QString> opened;

    PortOpenError LastOpenError() const override { return failOpen ? openError : PortOpenError{}; }

    std::unique_ptr<CommPort> Open(const QString& location) override {
        opened.push_back(location);
        if (failOpen || location.isEmpty()) return nullptr;
        line->closed = false;
        return std::make_unique<FakeCommPort>(line);
    }
};

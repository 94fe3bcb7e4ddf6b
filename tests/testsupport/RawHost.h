#pragma once
// A bare host end of the simulator's line for tests: sends hand-made frames and collects
// answers, every wait bounded.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QString>
#include <chrono>
#include <cstdio>
#include <string>

#include "DeviceSimulator.h"

class RawHost {
public:
    explicit RawHost(const QString& path) {
        const QByteArray encoded = path.toLocal8Bit();
        m_fd = ::open(encoded.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios t{};
        if (m_fd >= 0 && ::tcgetattr(m_fd, &t) == 0) {
            ::cfmakeraw(&t);
            t.c_cc[VMIN] = 1;
            t.c_cc[VTIME] = 0;
            ::tcsetattr(m_fd, TCSANOW, &t);
        }
    }
    ~RawHost() {
        if (m_fd >= 0) ::close(m_fd);
    }
    RawHost(const RawHost&) = delete;
    RawHost& operator=(const RawHost&) = delete;
    bool ok() const { return m_fd >= 0; }

    // `head` up to its last comma; the checksum field and CR LF are added here.
    void Send(const std::string& head) { SendRaw(Frame(head)); }
    void SendRaw(const std::string& bytes) {
        (void)!::write(m_fd, bytes.data(), bytes.size());
    }
    static std::string Frame(const std::string& head) {
        unsigned sum = 0;
        for (const char c : head) sum += static_cast<unsigned char>(c);
        char tail[16];
        std::snprintf(tail, sizeof tail, "SUM:%02X\r\n", sum & 0xFF);
        return head + tail;
    }

    // Polls the device and collects what arrives until `lines` CR LF ends are in or `ms`
    // pass. Returns everything received.
    std::string Collect(DeviceSimulator& device, int lines = 1, int ms = 1000) {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < deadline) {
            device.Poll();
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 5) > 0) {
                char buffer[8192];
                const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
                if (n > 0) got.append(buffer, static_cast<size_t>(n));
                if (n == 0) break;  // hang-up
            }
            if (lines > 0 && CountLines(got) >= lines) break;
        }
        return got;
    }
    // Sends and returns the answer (one line).
    std::string Ask(DeviceSimulator& device, const std::string& head, int ms = 1000) {
        Send(head);
        return Collect(device, 1, ms);
    }
    // True when reading reports a hang-up (the device side is gone).
    bool HungUp() const {
        char c;
        const ssize_t n = ::read(m_fd, &c, 1);
        return n == 0 || (n < 0 && errno != EAGAIN);
    }
    int fd() const { return m_fd; }

    static int CountLines(const std::string& text) {
        int lines = 0;
        for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2))
            ++lines;
        return lines;
    }

private:
    int m_fd = -1;
};

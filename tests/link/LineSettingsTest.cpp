// The line settings asked of the driver: 7E1 at 115200, raw, no flow control, whatever the
// port reported before.

#include <gtest/gtest.h>
#include <termios.h>

#include <cstring>

#include "link/TermiosPort.h"

// Mark or space parity exists on Linux only.
#ifndef CMSPAR
#define CMSPAR 0
#endif

namespace {
termios Zeroed() {
    termios t;
    std::memset(&t, 0, sizeof t);
    return t;
}

termios AllBitsSet() {
    termios t;
    std::memset(&t, 0xFF, sizeof t);
    return t;
}

// A terminal as a login shell leaves it: cooked, echoing, 8 bits, odd parity, two stop bits,
// hardware and software flow control, 9600 baud.
termios Cooked() {
    termios t = Zeroed();
    t.c_iflag = ICRNL | IXON | IXOFF | IXANY | INPCK;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = CS8 | PARENB | PARODD | CSTOPB | CRTSCTS | CMSPAR | HUPCL;
    t.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 5;
    (void)::cfsetispeed(&t, B9600);
    (void)::cfsetospeed(&t, B9600);
    return t;
}
}  // namespace

TEST(LineSettings, SevenEvenOneAt115200RawWithoutFlowControl) {
    const struct {
        const char* name;
        termios current;
    } rows[] = {{"zeroed", Zeroed()}, {"all bits set", AllBitsSet()}, {"cooked", Cooked()}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const termios t = LineSettings(row.current);
        EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
        EXPECT_TRUE(t.c_cflag & PARENB);
        EXPECT_FALSE(t.c_cflag & PARODD) << "even parity";
        EXPECT_FALSE(t.c_cflag & CMSPAR) << "neither mark nor space parity";
        EXPECT_FALSE(t.c_cflag & CSTOPB) << "one stop bit";
        EXPECT_FALSE(t.c_cflag & CRTSCTS);
        EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
        EXPECT_EQ(::cfgetispeed(&t), static_cast<speed_t>(B115200));
        EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B115200));
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), 0u);
        EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP), 0u) << "bytes pass unchanged";
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(t.c_cc[VMIN], 1);
        EXPECT_EQ(t.c_cc[VTIME], 0);
    }
}

#pragma once
// The serial port as the engine uses it: the steps of opening and configuring it (each can
// fail on its own), one non-blocking read per receive tick and one write per frame.
// TermiosPort implements it on POSIX; tests use fakes.

#include <QString>
#include <memory>

class CommPort {
public:
    virtual ~CommPort() = default;

    // Reads the port's current line settings.
    virtual bool GetState() = 0;
    // Empties both driver queues.
    virtual void Purge() = 0;
    // Applies 115200 baud, 7 data bits, even parity, one stop bit, no flow control, DTR off,
    // on top of the settings read by GetState. The caller ignores the result.
    virtual bool SetState() = 0;
    // Reads the current wait behaviour of reads and writes.
    virtual bool GetTimeouts() = 0;
    // Makes a read return at once with what has arrived and bounds a write to about 10 ms.
    virtual bool SetTimeouts() = 0;
    // Raises RTS once after configuration; failures are ignored.
    virtual void RaiseRts() = 0;

    // One read of at most `capacity` bytes. True with `count` (0 when nothing arrived);
    // false when the read failed (error, or hang-up of an unplugged device).
    virtual bool Read(char* buffer, int capacity, int& count) = 0;
    // One write of the whole frame; the outcome is not examined by the caller.
    virtual void Write(const char* data, int length) = 0;

    // Waits at most `timeoutMs` for something to read (bytes, or a hang-up that the next
    // Read reports). Lets a caller step as soon as an answer is in instead of on a fixed
    // tick. Ports that cannot wait pause about a millisecond.
    virtual void WaitForInput(int timeoutMs);
};

// Why a port could not be opened, so that a user can be told what to do about it.
enum class PortOpenFailure {
    None,          // the port opened
    Missing,       // no such port (unplugged, or a wrong name)
    NoPermission,  // the user may not open it (device node owned by root and a group)
    InUse,         // another program holds it
    Other,         // anything else the system reported
};

struct PortOpenError {
    PortOpenFailure failure = PortOpenFailure::None;
    QString detail;  // the system's own words, when it gave any
};

// One line for a user: "permission denied", "in use by another program", ...; "" for None.
QString DescribePortOpenError(const PortOpenError& error);

class CommPortProvider {
public:
    virtual ~CommPortProvider() = default;
    // Opens the port at `location` for exclusive reading and writing; null on failure.
    virtual std::unique_ptr<CommPort> Open(const QString& location) = 0;
    // Why the last Open returned null; None after one that succeeded.
    virtual PortOpenError LastOpenError() const { return {}; }
};

// The port chosen in the port list: its name as shown (COM5, ttyACM0) and where to open it.
struct PortChoice {
    QString name;
    QString location;
};

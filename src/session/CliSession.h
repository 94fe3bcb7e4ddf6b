#pragma once
// quillbank-cli's session: the slot engine without a window, driven by one small API that
// every command uses. It connects and loads only the slots a command needs, hands the
// window's own requests to the engine (Read, Write, Remove) and steps the engine until it
// is idle again: as soon as each awaited answer is complete, or on a fixed tick. How each
// transaction ended comes from the engine as a value (OnTransactionEnded).

#include <QByteArray>
#include <QString>
#include <bitset>
#include <functional>
#include <initializer_list>
#include <vector>

#include "engine/SlotEngine.h"
#include "link/DeviceDiscovery.h"
#include "session/CliExit.h"
#include "support/DialogServices.h"

using SlotSet = std::bitset<SLOT_COUNT>;

// How a session call ended: CLI_OK, or an exit code with one line for the user.
struct SessionResult {
    int code = CLI_OK;
    QString message;
    bool ok() const { return code == CLI_OK; }
};

struct SessionPace {
    int tickMs = 0;  // 0: step as soon as the awaited answer is in; else a fixed tick
    int timeoutSeconds = 10;
};

// The questions and messages of a session, wherever its owner asks and tells them.
class SessionDialogs : public DialogServices {
public:
    // Asks `question`; true when it is answered yes.
    virtual bool Confirm(const QString& question) = 0;
    // One line for the user.
    virtual void Tell(const QString& text) = 0;
    // One line about a local file: what is wrong with it.
    virtual void TellAboutFile(const QString& file, const QString& what) = 0;
};

// How the owner asks a session to stop (the program does on a signal), and a sleep that
// such a stop cuts short. Left empty, the session never stops early and sleeps plainly.
struct SessionStops {
    // Not ok once a stop was asked for: the code and line the session then ends with.
    std::function<SessionResult()> asked;
    // Sleeps `ms` milliseconds, or less when a stop is asked for meanwhile.
    std::function<void(int ms)> sleep;
};

class CliSession : public CSlotEngine {
public:
    CliSession(CommPortProvider& ports, SessionDialogs& dialogs, PortChoice port, SessionPace pace,
               SessionStops stops = {});
    ~CliSession() override;

    PortChoice SelectedPort() const override { return m_port; }
    void RefreshSlotLists() override {}
    void OnTransactionEnded(const TransactionEnd& end) override { m_ends.push_back(end); }

    // Opens the port and loads the `needed` slots. The others are marked done before the
    // load starts, so the load's lowest-pending-slot rule passes them by: they stay out of
    // memory and show as empty. A malformed answer stops the load: the result says so, but
    // the session stays connected with what was read.
    SessionResult Connect(const SlotSet& needed);
    // Loads one more slot after Connect, as the load would have: a slot the device will not
    // open is empty.
    SessionResult Load(int slot);
    // True when the slot's copy came from the device in this session's load.
    bool Loaded(int slot) const;
    QByteArray SlotCopy(int slot) const;

    // The window's Read (into `file`), Write (from `file`) and Remove, with their questions
    // asked on the terminal; each waits until the engine is idle again.
    SessionResult Read(int slot, const QString& file);
    SessionResult Write(int slot, const QString& file);
    SessionResult Remove(int slot);
    // Reads the slot from the device again into its copy, with no local file: what a
    // verification compares. `refusedOpen` tells that the device would not open the slot.
    SessionResult ReadBack(int slot, bool& refusedOpen);

    // Closes the port (and any local file of an interrupted transfer).
    void Disconnect();

    // Steps the engine until it is idle and connected. Fails when the connection is gone,
    // a transaction failed, or the flow made no progress for the time-out. A stop asked
    // for (SessionStops) disconnects at once and ends with the stop's result.
    SessionResult WaitUntilIdle(const QString& what);
    // One engine step; while an answer is awaited, first waits on the port for it.
    void Step();

private:
    // Makes `slot` the current slot and forgets earlier reports.
    void Target(int slot);
    // Waits until the request is done (`what` it is, for messages), then judges it.
    SessionResult Complete(int slot, const QString& what,
                           std::initializer_list<Transaction> completion);
    // The first failure reported since the request, or the missing confirmation of
    // `completion` on `slot`.
    SessionResult Verdict(int slot, std::initializer_list<Transaction> completion) const;
    SessionResult Closed(const QString& what) const;
    void AwaitAnswer(int waitMs);
    SessionResult StopAsked() const;
    void Sleep(int ms) const;

    // The engine's provider too: a failed open is described from it.
    CommPortProvider& m_portProvider;
    SessionDialogs& m_dialogs;
    PortChoice m_port;
    SessionPace m_pace;
    SessionStops m_stops;
    SlotSet m_needed;
    std::vector<TransactionEnd> m_ends;
};

#include "EngineScript.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "MemoryFile.h"
#include "StepRules.h"
#include "engine/SlotEngine.h"
#include "fakes/FakeCommPort.h"
#include "fakes/FakeDialogServices.h"
#include "fakes/ScriptedDevice.h"

namespace {

[[noreturn]] void Finding(const char* what, int before, int after) {
    std::fprintf(stderr, "engine invariant broken: %s (step from state %d to %d)\n", what, before,
                 after);
    std::abort();
}

std::vector<std::uint8_t> Pattern(size_t size, int seed) {
    std::vector<std::uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] =
            static_cast<std::uint8_t>((i * 7 + static_cast<size_t>(seed) * 13 + i / 256) & 0xFF);
    return bytes;
}

int CountOf(const std::string& frame) {
    const size_t at = frame.find(",CNT:");
    if (at == std::string::npos || at + 7 > frame.size()) return -1;
    return static_cast<int>(std::strtol(frame.substr(at + 5, 2).c_str(), nullptr, 16));
}

struct SlotView {
    int status = SLOT_PENDING;
    std::uint16_t size = 0;
    const std::uint8_t* data = nullptr;
    bool operator==(const SlotView&) const = default;
};

class ScriptEngine : public CSlotEngine {
public:
    using CSlotEngine::CSlotEngine;
    void RefreshSlotLists() override {}
    void OnTransactionEnded(const TransactionEnd& end) override { ends.push_back(end); }
    std::vector<TransactionEnd> ends;  // reported during the current step
};

// --- The session ------------------------------------------------------------------------

class Session {
public:
    // A whole slot load of 6144-byte slots in 1-byte pieces would take far more; a script
    // gets there with several "*" lines, and every input stays fast.
    static constexpr int MAX_IDLE_RUN_TICKS = 600;
    // Ticks one input may take in all; the lines after that are not run.
    static constexpr int MAX_TICKS = 1500;

    bool Exhausted() const { return m_ticks >= MAX_TICKS; }

    Session() {
        CSlotEngine::ResetReadErrors();
        static_cast<void>(m_engine.SelectPort({QStringLiteral("ttyACM0"), QStringLiteral("/dev/ttyACM0")}));
        m_device.pieceSize = 1024;
        m_device.slots[0] = Pattern(300, 0);
        m_device.slots[1] = Pattern(40, 1);
        m_device.slots[3] = Pattern(1100, 3);
        static_cast<void>(m_engine.IsPortOpen() ? m_engine.RequestDisconnect() : m_engine.RequestConnect());
    }

    void Line(std::string_view line) {
        const char kind = line.empty() ? '.' : line.front();
        std::string_view rest = line.substr(std::min<size_t>(1, line.size()));
        if (!rest.empty() && rest.back() == '\n') rest.remove_suffix(1);
        switch (kind) {
            case '+':
                DeliverDeviceAnswer(rest);
                break;
            case '*':
                RunUntilIdle();
                return;
            case '=':
                m_ports.line->incoming.push_back(ScriptedDevice::WithSum(std::string(rest)));
                break;
            case '!':
                m_ports.line->readFailures.push_back(true);
                break;
            case '.':
            case '\n':
                break;
            case '@':
                Request(rest);
                break;
            case '%':
                SetDevice(rest);
                break;
            default:
                m_ports.line->incoming.emplace_back(line);
                break;
        }
        Tick();
    }

    // The user disconnects; everything the connection held must have been given back.
    void Finish() {
        if (m_engine.State() == STATE_CONNECT) Tick();  // asked for and not yet stepped
        if (m_engine.IsPortOpen()) PressConnect();
        if (m_engine.State() == STATE_DISCONNECT) Tick();
        const int state = m_engine.State();
        if (state != STATE_CLOSED || m_engine.IsPortOpen())
            Finding("the disconnect did not end in STATE_CLOSED with the port closed", state,
                    state);
        for (int slot = 0; slot < SLOT_COUNT; ++slot)
            if (m_engine.SlotStatus(slot) != SLOT_PENDING || m_engine.SlotHasBuffer(slot) ||
                m_engine.SlotSize(slot) != 0)
                Finding("a slot kept its copy or status past the disconnect", state, state);
        CheckLocalFilesClosed(state, state);
    }

private:
    struct Snapshot {
        int state = 0;
        int sequence = 0;
        int curSlot = -1;
        size_t writes = 0;
        std::array<SlotView, SLOT_COUNT> slots{};
        std::vector<std::uint8_t> curBytes;
        bool readOpen = false;
        bool writeOpen = false;
        bool portOpen = false;
        int saves = 0;
    };

    static int Number(std::string_view& text) {
        while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
        int value = 0;
        bool any = false;
        while (!text.empty() && text.front() >= '0' && text.front() <= '9') {
            value = std::min(value * 10 + (text.front() - '0'), 100000);
            text.remove_prefix(1);
            any = true;
        }
        return any ? value : -1;
    }

    // Lets the device answer tick after tick until the engine is idle (bounded).
    void RunUntilIdle() {
        for (int ticks = 0; ticks < MAX_IDLE_RUN_TICKS && !Exhausted(); ++ticks) {
            DeliverDeviceAnswer({});
            Tick();
            if (m_engine.State() == STATE_READY || m_engine.State() == STATE_CLOSED) return;
        }
    }

    void DeliverDeviceAnswer(std::string_view rest) {
        auto& pending = m_deviceLine->incoming;
        if (pending.empty()) return;
        const int part = Number(rest);
        std::string& answer = pending.front();
        if (part >= 0 && static_cast<size_t>(part) < answer.size()) {
            m_ports.line->incoming.push_back(answer.substr(0, static_cast<size_t>(part)));
            answer.erase(0, static_cast<size_t>(part));
            return;
        }
        m_ports.line->incoming.push_back(std::move(answer));
        pending.pop_front();
    }

    void SetDevice(std::string_view rest) {
        const int piece = Number(rest);
        if (piece < 0) return;
        m_device.pieceSize = std::clamp(piece, 1, READ_CHUNK_MAX);
        for (int slot = 0; slot < SLOT_COUNT; ++slot) {
            const int size = Number(rest);
            if (size < 0) break;
            m_device.slots[static_cast<size_t>(slot)] =
                Pattern(static_cast<size_t>(std::min(size, 7000)), slot);
        }
    }

    // The Connect button, which disconnects while a port is open.
    void PressConnect() {
        m_userDisconnect = m_engine.IsPortOpen();
        static_cast<void>(m_engine.IsPortOpen() ? m_engine.RequestDisconnect() : m_engine.RequestConnect());
    }

    // What the buttons hand to the engine, under the conditions in which they do.
    void Request(std::string_view rest) {
        if (rest.empty()) return;
        const char what = rest.front();
        rest.remove_prefix(1);
        const bool idle = m_engine.State() == STATE_READY && m_engine.IsPortOpen();
        if ((what == 'c' && !m_engine.IsPortOpen()) || (what == 'd' && m_engine.IsPortOpen()))
            PressConnect();
        if (what == 'f') m_ports.failOpen = !m_ports.failOpen;
        if (!idle || (what != 'r' && what != 'w' && what != 'x')) return;
        const int slot = std::max(Number(rest), 0) % SLOT_COUNT;
        // Each button makes its target the current slot first.
        static_cast<void>(m_engine.SelectSlot(slot));
        if (what == 'r') {
            if (m_engine.SlotSize(slot) == 0) return;  // the Read button says there is nothing to read
            auto file = std::make_unique<SafeFile>(m_readFiles);
            if (!file->Begin(QStringLiteral("/memory/saved.crt"), FileAccess::Usual)) return;
            m_beforeRead = SlotBytes(slot);
            static_cast<void>(m_engine.StartRead(slot, std::move(file)));
        } else if (what == 'w') {
            // Sizes past a slot stand for a file that grew after the Write button checked it.
            const auto size =
                static_cast<size_t>(std::clamp(Number(rest), 0, SLOT_BUFFER_SIZE + 300));
            const std::vector<std::uint8_t> content = Pattern(size, slot + 100);
            m_writeSource.bytes.assign(content.begin(), content.end());
            static_cast<void>(m_engine.StartWrite(slot, LocalFile(OpenMemoryFile(m_writeSource, "rb")),
                                                  static_cast<std::uint32_t>(size),
                                                  QStringLiteral("/memory/upload.crt")));
        } else {
            static_cast<void>(m_engine.StartRemove(slot));
        }
    }

    Snapshot Take() const {
        Snapshot s;
        s.state = m_engine.State();
        s.sequence = m_engine.Sequence();
        s.curSlot = m_engine.CurrentSlot();
        s.writes = m_ports.line->writes.size();
        for (int i = 0; i < SLOT_COUNT; ++i) s.slots[static_cast<size_t>(i)] = ViewOf(i);
        if (s.state == STATE_WRITE_SEND_DATA) s.curBytes = SlotBytes(s.curSlot);
        s.portOpen = m_engine.IsPortOpen();
        s.readOpen = m_readTarget.open;
        s.saves = m_readFiles.saves;
        s.writeOpen = m_writeSource.open;
        return s;
    }

    std::vector<std::uint8_t> SlotBytes(int index) const {
        const std::span<const std::uint8_t> bytes = m_engine.SlotBytes(index);
        return {bytes.begin(), bytes.end()};
    }
    // A slot's record as the views show it; the buffer's address tells a new buffer apart.
    SlotView ViewOf(int index) const {
        return {m_engine.SlotStatus(index), static_cast<std::uint16_t>(m_engine.SlotSize(index)),
                m_engine.SlotHasBuffer(index) ? m_engine.SlotBytes(index).data() : nullptr};
    }

    void Tick() {
        ++m_ticks;
        m_engine.ReceiveFromPort();
        CheckReceiveBuffer();
        const Snapshot before = Take();
        m_engine.ends.clear();
        m_engine.StepEngine();
        CheckStep(before);
        CheckEnds(before);
        if (before.state == STATE_DISCONNECT) m_userDisconnect = false;
        CheckReceiveBuffer();
        auto& writes = m_ports.line->writes;
        for (; m_forwarded < writes.size(); ++m_forwarded)
            m_deviceLine->writes.push_back(writes[m_forwarded]);
        m_device.Serve();
        if (!m_device.errors.empty())
            Finding("the host sent a frame the device rejects", before.state, m_engine.State());
    }

    void CheckReceiveBuffer() const {
        const auto length = static_cast<int>(m_engine.Received().size());
        const int state = m_engine.State();
        if (length < 0 || length > RX_BUFFER_SIZE)
            Finding("receive length outside 0..4096", state, state);
        const char* buffer = m_engine.ReceiveBuffer().data();
        if (buffer[length] != '\0' ||
            std::memchr(buffer, '\0', static_cast<size_t>(length)) != nullptr)
            Finding("the held text is not exactly the bytes before the first NUL", state, state);
    }

    void CheckLocalFilesClosed(int from, int to) const {
        if (m_engine.ReadTargetOpen() || m_engine.WriteSourceOpen() || m_readTarget.open ||
            m_writeSource.open)
            Finding("a local file is still open while the engine is idle", from, to);
    }

    // What the engine reported about the transactions that ended in the step: only a step
    // that evaluated an answer, finished an upload, failed to open the port or disconnected
    // reports; slot transactions name the current slot; a lost connection is reported for a
    // disconnect nobody asked for, and only then.
    void CheckEnds(const Snapshot& before) const {
        const int from = before.state;
        const int to = m_engine.State();
        const bool lost = from == STATE_DISCONNECT && !m_userDisconnect && before.portOpen;
        bool reportedLost = false;
        for (const TransactionEnd& end : m_engine.ends) {
            if (SendsInState(from) && from != STATE_CONNECT && from != STATE_WRITE_SEND_DATA)
                Finding("a transaction end reported by a sending step", from, to);
            const bool link =
                end.transaction == Transaction::Connect || end.transaction == Transaction::Link;
            if (end.slot != (link ? -1 : before.curSlot))
                Finding("a transaction end names another slot", from, to);
            if ((end.outcome == Outcome::PortFailed) !=
                (from == STATE_CONNECT && to == STATE_DISCONNECT))
                Finding("a failed open reported other than when the port did not open", from, to);
            reportedLost = reportedLost || end.outcome == Outcome::ConnectionLost;
        }
        if (reportedLost != lost) Finding("a lost connection reported wrongly", from, to);
    }

    void CheckStep(const Snapshot& before) const {
        const int from = before.state;
        const int to = m_engine.State();
        if (to < 0 || to >= ENGINE_STATE_COUNT || to == STATE_UNUSED_21)
            Finding("a state outside the table", from, to);
        if (!MayStep(from, to)) Finding("a step the flows do not have", from, to);
        if (!m_engine.IsPortOpen() && to != STATE_CLOSED && to != STATE_DISCONNECT)
            Finding("a flow runs without a port", from, to);
        if (to == STATE_CLOSED && m_engine.IsPortOpen())
            Finding("closed with the port open", from, to);

        // One command at most, from a sending state, with the count the counter says.
        const auto& writes = m_ports.line->writes;
        const size_t sent = writes.size() - before.writes;
        const int next = (before.sequence + 1) % 256;
        if (sent > 1) Finding("more than one command in one step", from, to);
        if (sent == 1) {
            if (!SendsInState(from)) Finding("a command sent from a waiting state", from, to);
            if (CountOf(writes.back()) != before.sequence || m_engine.Sequence() != next)
                Finding("the frame's CNT is not the sequence count", from, to);
        } else if (m_engine.Sequence() !=
                   (from == STATE_WRITE_SEND_DATA ? next : before.sequence)) {
            // The write step takes a count even when the file is exhausted and nothing goes.
            Finding("the sequence count moved without a frame", from, to);
        }

        // The slot table: sizes within the buffer, and only the slot being worked on changes.
        if (from != STATE_LOAD_NEXT && m_engine.CurrentSlot() != before.curSlot)
            Finding("the current slot changed outside the slot load", from, to);
        for (int i = 0; i < SLOT_COUNT; ++i) {
            const SlotView now = ViewOf(i);
            if (now.size > SLOT_BUFFER_SIZE || (now.size > 0 && now.data == nullptr) ||
                (now.status != SLOT_PENDING && now.status != SLOT_DONE))
                Finding("a slot record outside its limits", from, to);
            const SlotView& was = before.slots[static_cast<size_t>(i)];
            if (!(now == was) && i != before.curSlot && from != STATE_DISCONNECT)
                Finding("a slot other than the current one changed", from, to);
            // A Read that ends here without its close gives the slot back its earlier copy,
            // whatever its size (checked below).
            const bool readGaveBack = from == STATE_READ_AWAIT_DATA && before.readOpen &&
                                      !m_readTarget.open && SlotBytes(i) == m_beforeRead;
            if (i == before.curSlot && !readGaveBack &&
                (from == STATE_LOAD_AWAIT_DATA || from == STATE_READ_AWAIT_DATA) &&
                (now.size < was.size || now.size - was.size > READ_CHUNK_MAX))
                Finding("a read answer moved a slot by other than one piece", from, to);
        }

        // Local files: none open while idle; what a Read saved is what the slot holds; an
        // upload that ended replaced the slot's copy with the whole file, or left it alone.
        if (to == STATE_CLOSED || to == STATE_READY) CheckLocalFilesClosed(from, to);
        if (m_readFiles.saves != before.saves) {
            const std::vector<std::uint8_t> copy = SlotBytes(m_engine.CurrentSlot());
            if (from != STATE_AWAIT_CLOSE || m_readFiles.saved != std::string(copy.begin(), copy.end()))
                Finding("a file saved other than whole at the close of its Read", from, to);
        } else if (before.readOpen && !m_readTarget.open && to == STATE_READY &&
                   SlotBytes(m_engine.CurrentSlot()) != m_beforeRead) {
            Finding("a Read that saved nothing did not give the slot back its copy", from, to);
        }
        if (from == STATE_WRITE_SEND_DATA && before.writeOpen && !m_writeSource.open && sent == 0) {
            const std::vector<std::uint8_t> copy = SlotBytes(m_engine.CurrentSlot());
            const bool fits = m_writeSource.bytes.size() <= SLOT_BUFFER_SIZE;
            const bool replaced = m_writeSource.bytes == std::string(copy.begin(), copy.end());
            if (fits ? !replaced : copy != before.curBytes)
                Finding("the end of an upload left the slot's copy neither the file nor as it was",
                        from, to);
        }
    }

    // The files outlive the engine, which may still hold them when the session ends.
    MemoryFile m_readTarget;
    MemoryFileSystem m_readFiles{m_readTarget};
    std::vector<std::uint8_t> m_beforeRead;  // the slot's copy when the Read was asked for
    MemoryFile m_writeSource;
    FakePortProvider m_ports;
    FakeDialogServices m_dialogs;
    ScriptEngine m_engine{m_ports, m_dialogs};
    std::shared_ptr<FakeLine> m_deviceLine = std::make_shared<FakeLine>();
    ScriptedDevice m_device{m_deviceLine};
    size_t m_forwarded = 0;
    int m_ticks = 0;
    bool m_userDisconnect = false;  // the pending disconnect was the user's
};

}  // namespace

void RunEngineScript(const std::uint8_t* data, std::size_t size) {
    Session session;
    const std::string_view script(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    while (start < script.size() && !session.Exhausted()) {
        const size_t end = script.find('\n', start);
        const size_t next = end == std::string_view::npos ? script.size() : end + 1;
        session.Line(script.substr(start, next - start));
        start = next;
    }
    session.Finish();
}

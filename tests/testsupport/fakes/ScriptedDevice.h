#pragma once
// An in-memory device on the far side of a FakeLine, for engine, command and window tests.
//
//     FakePortProvider ports;               // the engine opens ports.line
//     ScriptedDevice device(ports.line);
//     device.slots[0] = {0x30, 0x82};       // what the device holds
//     // one tick: engine.ReceiveFromPort(); engine.StepEngine(); device.Serve();
//
// Serve() takes every frame the host has written since the last call, checks it strictly
// (field layout, upper-case hex, checksum, CR LF), records it in `received` and queues the
// answer as the bytes of the next read, so an answer is there at the following tick. A
// frame that fails the check goes to `errors` and is not answered.
//
// The device speaks connect 0000, open 9330 (POS bit 0x80: for reading), read 9030 (the
// next `pieceSize` bytes with PALL and DATA), close 9430, write 9130 (opening for writing
// empties the slot, each accepted piece is appended) and remove 9530. Answers carry CMD
// and RES ("OK" or "NG"). The checksum is computed here, independently of the host code.
// `alterAnswer` can damage, split or drop any answer on its way out (fault injection).

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fakes/FakeCommPort.h"

class ScriptedDevice {
public:
    static constexpr int kSlots = 15;

    // One checked command frame from the host.
    struct Command {
        std::string code;                // "0000", "9330", "9030", "9430", "9130", "9530"
        int count = -1;                  // CNT
        int pos = -1;                    // POS; -1 for connect
        std::vector<std::uint8_t> data;  // decoded DATA of a write
        std::string frame;               // the bytes as written
    };

    explicit ScriptedDevice(std::shared_ptr<FakeLine> line) : m_line(std::move(line)) {}

    // --- What the device holds and how it behaves (set freely between ticks) ------------
    std::array<std::vector<std::uint8_t>, kSlots> slots;
    int pieceSize = 1024;               // bytes per read answer
    std::set<int> refuseOpen;           // slots whose open (either way) is answered NG
    std::set<int> refuseRemove;         // slots whose remove is answered NG
    int refuseWritePiece = 0;           // n > 0: the n-th piece after an open is answered NG
    bool reportTotal = true;            // false: read answers carry no PALL field
    int totalOverride = -1;             // >= 0: PALL reports this instead of the slot size
    bool silent = false;                // check and record frames, answer nothing
    // Sees every answer before it is queued, with the command it answers: it may change
    // the bytes, split them over several reads (one entry per read) or drop them (no entry).
    std::function<void(const Command&, std::vector<std::string>& reads)> alterAnswer;

    // --- What happened -------------------------------------------------------------------
    std::vector<Command> received;
    std::vector<std::string> errors;    // one description per rejected frame

    // Handles every frame written since the last call.
    void Serve() {
        for (; m_next < m_line->writes.size(); ++m_next) Handle(m_line->writes[m_next]);
    }

    // Queues raw bytes as the result of one read, after any answer already queued.
    void Inject(const std::string& bytes) { m_line->incoming.push_back(bytes); }

    // A response frame: each (key, value) as "key:value,", then "SUM:%02X\r\n".
    static std::string Answer(const std::vector<std::pair<std::string, std::string>>& fields) {
        std::string text;
        for (const auto& [key, value] : fields) text += key + ":" + value + ",";
        return WithSum(text);
    }
    // `text` (fields with their commas) completed with its SUM field and CR LF.
    static std::string WithSum(const std::string& text) {
        char sum[16];
        std::snprintf(sum, sizeof sum, "SUM:%02X\r\n", static_cast<unsigned>(Sum(text)));
        return text + sum;
    }
    static std::uint8_t Sum(const std::string& text) {
        unsigned sum = 0;
        for (const char c : text) sum += static_cast<unsigned char>(c);
        return static_cast<std::uint8_t>(sum);
    }
    static std::string Hex(const std::vector<std::uint8_t>& bytes, size_t from = 0,
                           size_t count = std::string::npos) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        std::string out;
        for (size_t i = from; i < bytes.size() && i - from < count; ++i) {
            out += kDigits[bytes[i] >> 4];
            out += kDigits[bytes[i] & 0x0F];
        }
        return out;
    }

    // Commands received with the given code, in order.
    std::vector<Command> CommandsWithCode(const std::string& code) const {
        std::vector<Command> out;
        for (const Command& c : received)
            if (c.code == code) out.push_back(c);
        return out;
    }

private:
    static bool IsUpperHex(const std::string& s) {
        if (s.empty()) return false;
        for (const char c : s)
            if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
        return true;
    }
    static int HexValue(const std::string& s) { return static_cast<int>(std::stol(s, nullptr, 16)); }

    // Splits "K:V,K:V," into fields; false when a field is not key:value.
    static bool Split(const std::string& body, std::vector<std::pair<std::string, std::string>>& out) {
        size_t start = 0;
        while (start < body.size()) {
            const size_t comma = body.find(',', start);
            if (comma == std::string::npos) return false;
            const std::string field = body.substr(start, comma - start);
            const size_t colon = field.find(':');
            if (colon == std::string::npos || colon == 0) return false;
            out.emplace_back(field.substr(0, colon), field.substr(colon + 1));
            start = comma + 1;
        }
        return true;
    }

    // Checks the frame; on success fills `command`, else returns the reason.
    static std::string Check(const std::string& frame, Command& command) {
        if (frame.size() < 10 || frame.compare(frame.size() - 2, 2, "\r\n") != 0)
            return "no CR LF at the end";
        const std::string line = frame.substr(0, frame.size() - 2);
        if (line.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
            return "CR, LF or NUL inside the frame";
        const size_t sumAt = line.rfind(",SUM:");
        if (sumAt == std::string::npos || sumAt + 5 + 2 != line.size())
            return "SUM field is not last or not two digits";
        const std::string body = line.substr(0, sumAt + 1);
        const std::string sum = line.substr(sumAt + 5);
        if (!IsUpperHex(sum)) return "SUM is not upper-case hex";
        if (HexValue(sum) != Sum(body)) return "wrong checksum";

        std::vector<std::pair<std::string, std::string>> fields;
        if (!Split(body, fields)) return "malformed field";
        if (fields.size() < 3 || fields[0].first != "CMD" || fields[1].first != "CNT")
            return "CMD and CNT must come first";
        const std::string& code = fields[0].second;
        if (code != "0000" && code != "9330" && code != "9030" && code != "9430" &&
            code != "9130" && code != "9530")
            return "unknown command " + code;
        if (fields[1].second.size() != 2 || !IsUpperHex(fields[1].second))
            return "CNT is not two upper-case hex digits";
        command.code = code;
        command.count = HexValue(fields[1].second);
        if (code == "0000") {
            if (fields.size() != 3 || fields[2].first != "DATA" || fields[2].second != "FFFF000000")
                return "connect body is not DATA:FFFF000000";
            return {};
        }
        if (fields[2].first != "POS" || fields[2].second.size() != 4 || !IsUpperHex(fields[2].second))
            return "POS is not four upper-case hex digits";
        command.pos = HexValue(fields[2].second);
        if (code != "9130") {
            if (fields.size() != 3) return "unexpected field after POS";
            return {};
        }
        if (fields.size() != 4 || fields[3].first != "DATA") return "write without DATA";
        const std::string& digits = fields[3].second;
        if (digits.size() % 2 != 0 || digits.size() > 512 || !IsUpperHex(digits))
            return "write DATA is not 1 to 256 bytes of upper-case hex";
        for (size_t i = 0; i < digits.size(); i += 2)
            command.data.push_back(static_cast<std::uint8_t>(HexValue(digits.substr(i, 2))));
        return {};
    }

    void Reply(const std::string& code, bool ok, std::vector<std::pair<std::string, std::string>> more = {}) {
        std::vector<std::pair<std::string, std::string>> fields = {{"CMD", code}, {"RES", ok ? "OK" : "NG"}};
        for (auto& f : more) fields.push_back(std::move(f));
        if (silent) return;
        std::vector<std::string> reads{Answer(fields)};
        if (alterAnswer) alterAnswer(received.back(), reads);
        for (std::string& read : reads) m_line->incoming.push_back(std::move(read));
    }

    bool SlotOpen() const { return m_openSlot >= 0 && m_openSlot < kSlots; }

    void Handle(const std::string& frame) {
        Command command;
        command.frame = frame;
        const std::string problem = Check(frame, command);
        if (!problem.empty()) {
            errors.push_back(problem + ": " + frame);
            return;
        }
        received.push_back(command);
        const std::string& code = command.code;
        if (code == "0000") {
            Reply(code, true);
        } else if (code == "9330") {
            const int slot = command.pos & 0x7F;
            const bool forRead = (command.pos & 0x80) != 0;
            if (slot >= kSlots || refuseOpen.count(slot) != 0) {
                Reply(code, false);
                return;
            }
            m_openSlot = slot;
            m_forRead = forRead;
            m_offset = 0;
            m_pieces = 0;
            if (!forRead) slots[static_cast<size_t>(slot)].clear();
            Reply(code, true);
        } else if (code == "9030") {
            if (!SlotOpen() || !m_forRead || command.pos != m_openSlot) {
                Reply(code, false);
                return;
            }
            const auto& bytes = slots[static_cast<size_t>(m_openSlot)];
            const size_t n = std::min(static_cast<size_t>(pieceSize), bytes.size() - std::min(m_offset, bytes.size()));
            std::vector<std::pair<std::string, std::string>> more;
            if (reportTotal) {
                char total[16];
                std::snprintf(total, sizeof total, "%04X",
                              static_cast<unsigned>(totalOverride >= 0 ? static_cast<size_t>(totalOverride) : bytes.size()));
                more.emplace_back("PALL", total);
            }
            more.emplace_back("DATA", Hex(bytes, m_offset, n));
            m_offset += n;
            Reply(code, true, std::move(more));
        } else if (code == "9430") {
            const bool ok = SlotOpen() && command.pos == m_openSlot;
            m_openSlot = -1;
            Reply(code, ok);
        } else if (code == "9130") {
            if (!SlotOpen() || m_forRead || command.pos != m_openSlot) {
                Reply(code, false);
                return;
            }
            if (++m_pieces == refuseWritePiece) {
                Reply(code, false);
                return;
            }
            auto& bytes = slots[static_cast<size_t>(m_openSlot)];
            bytes.insert(bytes.end(), command.data.begin(), command.data.end());
            Reply(code, true);
        } else {  // 9530
            if (command.pos >= kSlots || refuseRemove.count(command.pos) != 0) {
                Reply(code, false);
                return;
            }
            slots[static_cast<size_t>(command.pos)].clear();
            Reply(code, true);
        }
    }

    std::shared_ptr<FakeLine> m_line;
    size_t m_next = 0;
    int m_openSlot = -1;
    bool m_forRead = false;
    size_t m_offset = 0;
    int m_pieces = 0;
};

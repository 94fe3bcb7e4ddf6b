// Reception and response parsing as the engine's ticks drive them. The input is the byte
// stream from the device, cut into receive ticks by two control bytes that never occur in
// the protocol's text (so a plain text frame is a seed as it stands):
//   0x1F  ends a tick; the engine step of that tick parses once (an await state)
//   0x1E  ends a tick without a parse (a send state), so bytes pile up
// A tick delivers its bytes as one read, at most what the buffer has room for; the rest
// waits for the next tick, as it would in the port's driver. At the end the held text is
// parsed until nothing more is taken.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "protocol/Frame.h"
#include "protocol/Response.h"
#include "support/Text.h"

namespace {

constexpr char TICK_WITH_PARSE = 0x1F;
constexpr char TICK_WITHOUT_PARSE = 0x1E;

[[noreturn]] void Finding(const char* what) {
    std::fprintf(stderr, "receive invariant broken: %s\n", what);
    std::abort();
}

void Check(bool holds, const char* what) {
    if (!holds) Finding(what);
}

struct Receiver {
    std::array<char, RX_BUFFER_SIZE + 1> buffer{};
    int length = 0;
    std::string pending;  // arrived at the port, not yet read

    std::string_view Held() const { return {buffer.data(), static_cast<size_t>(length)}; }

    // The buffer's bookkeeping: held bytes at the front with no NUL among them, zeros after.
    void CheckBuffer() const {
        Check(length >= 0 && length <= RX_BUFFER_SIZE, "length outside 0..4096");
        Check(std::memchr(buffer.data(), '\0', static_cast<size_t>(length)) == nullptr,
              "NUL among the held bytes");
        static const std::array<char, RX_BUFFER_SIZE + 1> zeros{};
        const auto held = static_cast<size_t>(length);
        Check(std::memcmp(buffer.data() + held, zeros.data(), buffer.size() - held) == 0,
              "non-zero byte after the held text");
    }

    // ReceiveFromPort: a stalled full buffer is dropped, then one read of what fits.
    void Receive() {
        DiscardStalledBuffer(buffer.data(), length);
        Check(length < RX_BUFFER_SIZE || HoldsCompleteFrame(buffer.data(), length),
              "a full buffer without a frame is kept: reception would stop for good");
        const int room = RX_BUFFER_SIZE - length;
        const int count = std::min(room, static_cast<int>(pending.size()));
        std::memcpy(buffer.data() + length, pending.data(), static_cast<size_t>(count));
        pending.erase(0, static_cast<size_t>(count));
        AcceptReceived(buffer.data(), length, count);
        CheckBuffer();
    }

    // One ParseResponse; true when it took a line.
    bool Parse() {
        const std::string before(Held());
        ResponseFields fields;
        ParseResponse(buffer.data(), length, fields);
        CheckBuffer();
        const size_t consumed = before.size() - static_cast<size_t>(length);
        if (consumed == 0) {
            Check(fields.empty(), "fields without a consumed frame");
            Check(!HoldsCompleteFrame(before.data(), static_cast<int>(before.size())),
                  "a complete frame was left in the buffer");
            return false;
        }
        Check(before.find("\r\n") + 2 == consumed, "consumed other than the first line");
        Check(Held() == std::string_view(before).substr(consumed),
              "the text behind the frame did not move to the front intact");
        if (fields.empty()) return true;

        // A list that comes back was verified: a SUM entry matches the sum of the bytes
        // before the first "SUM:".
        const size_t sumAt = before.find("SUM:");
        Check(sumAt != std::string::npos, "fields from a buffer without SUM:");
        const unsigned sum = FrameChecksum(before.data(), sumAt);
        bool verified = false;
        for (const ResponseField& field : fields) {
            Check(field.key.find(',') == std::string::npos, "comma inside a key");
            Check(field.value.find(',') == std::string::npos, "comma inside a value");
            Check(field.value.find_first_of("\r\n") == std::string::npos,
                  "line break inside a value");
            if (field.key == "SUM" &&
                (static_cast<unsigned long>(HexToLong(field.value)) & 0xFFUL) == sum)
                verified = true;
        }
        Check(verified, "an unverified frame came back");
        return true;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    Receiver receiver;
    const auto* bytes = reinterpret_cast<const char*>(data);
    size_t start = 0;
    for (size_t i = 0; i <= size; ++i) {
        const bool end = i == size;
        if (!end && bytes[i] != TICK_WITH_PARSE && bytes[i] != TICK_WITHOUT_PARSE) continue;
        receiver.pending.append(bytes + start, i - start);
        start = i + 1;
        receiver.Receive();
        if (end || bytes[i] == TICK_WITH_PARSE) receiver.Parse();
    }
    // Drain: every complete frame is taken, one per parse, and whatever is left over is
    // read in as room appears. Each round takes a line or reads a byte at least.
    for (size_t guard = 0; guard < 2 * size + 2; ++guard) {
        if (!receiver.Parse() && receiver.pending.empty()) break;
        receiver.Receive();
    }
    Check(!HoldsCompleteFrame(receiver.buffer.data(), receiver.length),
          "a complete frame is never taken");
    return 0;
}

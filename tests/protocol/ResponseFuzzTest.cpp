#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <string>

#include "protocol/Frame.h"
#include "protocol/Response.h"
#include "support/Text.h"

namespace {
const char* const kBodies[] = {
    "CMD:0000,RES:OK,",
    "CMD:9330,RES:OK,",
    "CMD:9030,RES:OK,PALL:4C2,DATA:308204BE3082,",
    "CMD:9430,RES:NG,",
    "CMD:9130,RES:OK,",
    "CMD:9530,RES:OK,",
};

std::string Mutate(std::string frame, std::mt19937& rng) {
    const int edits = static_cast<int>(rng() % 4);
    for (int i = 0; i < edits && !frame.empty(); ++i) {
        const size_t at = rng() % frame.size();
        switch (rng() % 4) {
            case 0: frame[at] = static_cast<char>(rng() % 256); break;
            case 1: frame.erase(at, 1 + rng() % 3); break;
            case 2: frame.insert(at, 1, ",:\r\n\0S"[rng() % 6]); break;
            default: frame = frame.substr(0, at); break;
        }
    }
    return frame;
}

// Every field list that comes back holds a SUM entry that matches the checksum of the
// consumed text before its first "SUM:".
bool Verified(const ResponseFields& fields, const std::string& consumed) {
    const size_t sumAt = consumed.find("SUM:");
    if (sumAt == std::string::npos) return false;
    const unsigned sum = FrameChecksum(consumed.data(), sumAt);
    for (const auto& f : fields)
        if (f.key == "SUM" && (static_cast<unsigned long>(HexToLong(f.value)) & 0xFF) == sum)
            return true;
    return false;
}
}  // namespace

// Arbitrary and mutated traffic through receive and parse: the buffer's bookkeeping stays
// within bounds, the terminator after the held text survives, and only verified frames
// come back. Runs under the sanitizers too.
TEST(ResponseFuzz, ArbitraryTrafficKeepsTheBufferSound) {
    std::mt19937 rng(20261209);
    std::array<char, RX_BUFFER_SIZE + 1> buffer{};
    int length = 0;
    int verified = 0;

    for (int round = 0; round < 30000; ++round) {
        std::string chunk;
        if (rng() % 5 == 0) {
            chunk.resize(rng() % 600);
            for (char& c : chunk) c = static_cast<char>(rng() % 256);
        } else {
            chunk = Mutate(CompleteFrame(kBodies[rng() % 6]), rng);
        }
        DiscardStalledBuffer(buffer.data(), length);
        const int room = RX_BUFFER_SIZE - length;
        const int count = std::min(room, static_cast<int>(chunk.size()));
        std::memcpy(buffer.data() + length, chunk.data(), static_cast<size_t>(count));
        AcceptReceived(buffer.data(), length, count);
        ASSERT_GE(length, 0);
        ASSERT_LE(length, RX_BUFFER_SIZE);
        ASSERT_EQ(std::memchr(buffer.data(), '\0', static_cast<size_t>(length)), nullptr);

        const int parses = static_cast<int>(rng() % 3);
        for (int p = 0; p < parses; ++p) {
            const std::string before(buffer.data(), static_cast<size_t>(length));
            ResponseFields fields;
            ParseResponse(buffer.data(), length, fields);
            ASSERT_GE(length, 0);
            const size_t consumed = before.size() - static_cast<size_t>(length);
            if (consumed == 0) {
                ASSERT_TRUE(fields.empty());
                continue;
            }
            // Exactly one line was taken: the text up to and including the first CR LF.
            ASSERT_EQ(before.find("\r\n") + 2, consumed);
            ASSERT_EQ(std::string(buffer.data(), static_cast<size_t>(length)), before.substr(consumed));
            if (!fields.empty()) {
                ASSERT_TRUE(Verified(fields, before));
                ++verified;
            }
        }
        for (size_t i = static_cast<size_t>(length); i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], '\0') << "byte " << i << " after the held text";
    }
    EXPECT_GT(verified, 1000);
}

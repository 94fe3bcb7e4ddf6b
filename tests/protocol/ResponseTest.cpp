#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "protocol/Frame.h"
#include "protocol/Response.h"

namespace {
// A receive buffer as the engine holds it: bytes at the front, NUL after.
struct RxBuffer {
    std::array<char, RX_BUFFER_SIZE + 1> bytes{};
    int length = 0;

    void Receive(const std::string& data) {
        ASSERT_LE(length + static_cast<int>(data.size()), RX_BUFFER_SIZE);
        std::memcpy(bytes.data() + length, data.data(), data.size());
        AcceptReceived(bytes.data(), length, static_cast<int>(data.size()));
    }
    ResponseFields Parse() {
        ResponseFields fields;
        ParseResponse(bytes.data(), length, fields);
        return fields;
    }
    std::string Held() const { return std::string(bytes.data(), static_cast<size_t>(length)); }
};

std::string Response(const std::string& body) { return CompleteFrame(body); }

using Entries = std::vector<std::pair<std::string, std::string>>;
Entries Pairs(const ResponseFields& fields) {
    Entries out;
    for (const auto& f : fields) out.emplace_back(f.key, f.value);
    return out;
}
}  // namespace

TEST(ParseResponse, WorkedExampleGivesThreeEntries) {
    RxBuffer rx;
    rx.Receive("CMD:9330,RES:OK,SUM:F3\r\n");
    EXPECT_EQ(Pairs(rx.Parse()), (Entries{{"CMD", "9330"}, {"RES", "OK"}, {"SUM", "F3"}}));
    EXPECT_EQ(rx.length, 0);
    EXPECT_EQ(rx.bytes[0], '\0');
}

TEST(ParseResponse, SplitFrameWaitsForItsLineEnd) {
    RxBuffer rx;
    rx.Receive("CMD:9330,RES:OK,SUM:F3");
    EXPECT_TRUE(rx.Parse().empty());
    EXPECT_EQ(rx.length, 22);
    rx.Receive("\r");
    EXPECT_TRUE(rx.Parse().empty());
    rx.Receive("\n");
    EXPECT_EQ(rx.Parse().size(), 3u);
    EXPECT_EQ(rx.length, 0);
}

TEST(ParseResponse, LoneLineFeedDoesNotEndAFrame) {
    RxBuffer rx;
    rx.Receive("CMD:9330,RES:OK,SUM:F3\n");
    EXPECT_TRUE(rx.Parse().empty());
    EXPECT_EQ(rx.length, 23);
    rx.Receive("\r\n");
    // The LF now belongs to the SUM value's line-end run and is skipped.
    EXPECT_EQ(Pairs(rx.Parse()), (Entries{{"CMD", "9330"}, {"RES", "OK"}, {"SUM", "F3"}}));
}

TEST(ParseResponse, TwoFramesAreTakenOneAtATime) {
    RxBuffer rx;
    rx.Receive(Response("CMD:9030,RES:OK,PALL:4C2,DATA:3082,") + Response("CMD:9430,RES:OK,"));
    EXPECT_EQ(rx.Parse()[0].value, "9030");
    EXPECT_EQ(rx.Held(), Response("CMD:9430,RES:OK,"));
    EXPECT_EQ(rx.Parse()[0].value, "9430");
    EXPECT_EQ(rx.length, 0);
    EXPECT_TRUE(rx.Parse().empty());
}

TEST(ParseResponse, WrongSumIsConsumedAndDropped) {
    RxBuffer rx;
    rx.Receive("CMD:9330,RES:OK,SUM:F4\r\n" + Response("CMD:9430,RES:OK,"));
    ResponseFields fields{{"stale", "entry"}};
    ParseResponse(rx.bytes.data(), rx.length, fields);
    EXPECT_TRUE(fields.empty());
    EXPECT_EQ(rx.Held(), Response("CMD:9430,RES:OK,"));
}

TEST(ParseResponse, SumValueIsReadAsStrtolAndOnlyLowBitsCount) {
    for (const char* sum : {"F3", "f3", "0F3", "0xF3", "1F3", " F3", "F3zz"}) {
        RxBuffer rx;
        rx.Receive(std::string("CMD:9330,RES:OK,SUM:") + sum + "\r\n");
        EXPECT_EQ(rx.Parse().size(), 3u) << sum;
    }
    for (const char* sum : {"F2", "G3", "", "-F3"}) {
        RxBuffer rx;
        rx.Receive(std::string("CMD:9330,RES:OK,SUM:") + sum + "\r\n");
        EXPECT_TRUE(rx.Parse().empty()) << sum;
        EXPECT_EQ(rx.length, 0) << sum;
    }
}

TEST(ParseResponse, EmptyFieldsAndColonRules) {
    RxBuffer rx;
    rx.Receive(Response("CMD:9030,,RES:OK,DATA:,NOCOLON,A:B:C,::X,"));
    Entries entries = Pairs(rx.Parse());
    ASSERT_EQ(entries.size(), 7u);
    EXPECT_EQ(entries.back().first, "SUM");
    entries.pop_back();
    EXPECT_EQ(entries, (Entries{{"CMD", "9030"},
                                {"RES", "OK"},
                                {"DATA", ""},
                                {"NOCOLON", ""},
                                {"A", "B:C"},
                                {"X", ""}}));
}

TEST(ParseResponse, FieldOfOnlyColonsDoesNotAbortTheParse) {
    RxBuffer rx;
    rx.Receive(Response("CMD:0000,:::,RES:OK,"));
    const Entries entries = Pairs(rx.Parse());
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0], (std::pair<std::string, std::string>{"CMD", "0000"}));
    EXPECT_EQ(entries[1], (std::pair<std::string, std::string>{"", ""}));
    EXPECT_EQ(entries[2], (std::pair<std::string, std::string>{"RES", "OK"}));
}

TEST(ParseResponse, TrailingCommaBeforeLineEndGivesALineEndEntryAndStillVerifies) {
    RxBuffer rx;
    rx.Receive("CMD:9330,RES:OK,SUM:F3,\r\n");
    EXPECT_EQ(Pairs(rx.Parse()),
              (Entries{{"CMD", "9330"}, {"RES", "OK"}, {"SUM", "F3"}, {"\r\n", ""}}));
}

TEST(ParseResponse, FirstLineWithoutSumIsConsumedAndDropped) {
    RxBuffer rx;
    rx.Receive("garbage line\r\n" + Response("CMD:9430,RES:OK,"));
    EXPECT_TRUE(rx.Parse().empty());
    EXPECT_EQ(rx.Held(), Response("CMD:9430,RES:OK,"));
    EXPECT_EQ(rx.Parse().size(), 3u);
}

TEST(ParseResponse, EitherOfTwoSumFieldsMayVerify) {
    RxBuffer rx;
    rx.Receive("CMD:9330,RES:OK,SUM:00,SUM:F3\r\n");
    // The checksum is taken up to the first "SUM:"; the second field carries it.
    EXPECT_EQ(rx.Parse().size(), 4u);
}

TEST(ParseResponse, GarbageBeforeAFrameOnTheSameLineFailsTheChecksum) {
    RxBuffer rx;
    rx.Receive("xy" + Response("CMD:9330,RES:OK,"));
    EXPECT_TRUE(rx.Parse().empty());
    EXPECT_EQ(rx.length, 0);
}

TEST(ReceiveBuffer, NulBytesAreDroppedOnArrival) {
    RxBuffer rx;
    rx.Receive(std::string("\0\0CMD:9330,RES:OK,\0SUM:F3\r\n", 27));
    EXPECT_EQ(rx.length, 24);
    EXPECT_EQ(rx.Parse().size(), 3u);
}

TEST(ReceiveBuffer, FullBufferWithoutACompleteFrameIsDiscarded) {
    RxBuffer rx;
    rx.Receive(std::string(RX_BUFFER_SIZE, 'A'));
    EXPECT_EQ(rx.length, RX_BUFFER_SIZE);
    EXPECT_TRUE(rx.Parse().empty());
    EXPECT_TRUE(DiscardStalledBuffer(rx.bytes.data(), rx.length));
    EXPECT_EQ(rx.length, 0);
    rx.Receive(Response("CMD:9430,RES:OK,"));
    EXPECT_EQ(rx.Parse().size(), 3u);
}

TEST(ReceiveBuffer, FullBufferHoldingAFrameIsKept) {
    RxBuffer rx;
    const std::string frame = Response("CMD:9430,RES:OK,");
    rx.Receive(frame + std::string(RX_BUFFER_SIZE - frame.size(), 'B'));
    EXPECT_FALSE(DiscardStalledBuffer(rx.bytes.data(), rx.length));
    EXPECT_EQ(rx.length, RX_BUFFER_SIZE);
    EXPECT_EQ(rx.Parse().size(), 3u);
    EXPECT_EQ(rx.length, RX_BUFFER_SIZE - static_cast<int>(frame.size()));
    // A partial buffer is never discarded.
    EXPECT_FALSE(DiscardStalledBuffer(rx.bytes.data(), rx.length));
}

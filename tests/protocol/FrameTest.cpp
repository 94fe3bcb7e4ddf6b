#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/Frame.h"

namespace {
std::string Frame(const char* tmpl, int sequence, int pos = 0) {
    return CompleteFrame(FormatCommand(tmpl, sequence, pos));
}
}  // namespace

TEST(FrameChecksum, IsTheByteSumModulo256) {
    const std::string head = "CMD:0000,CNT:00,DATA:FFFF000000,";
    EXPECT_EQ(head.size(), 32u);
    EXPECT_EQ(FrameChecksum(head), 0x5D);
    EXPECT_EQ(FrameChecksum(std::string("CMD:9330,RES:OK,")), 0xF3);
    EXPECT_EQ(FrameChecksum(std::string()), 0x00);
    // Bytes above 0x7F count as unsigned values.
    EXPECT_EQ(FrameChecksum(std::string("\xFF\x01")), 0x00);
    EXPECT_EQ(FrameChecksum(std::string("\x80\x80\x01")), 0x01);
}

TEST(CommandFrames, ConnectFrameForSeveralCounts) {
    EXPECT_EQ(Frame(CONNECT_TEMPLATE, 0x00), "CMD:0000,CNT:00,DATA:FFFF000000,SUM:5D\r\n");
    EXPECT_EQ(Frame(CONNECT_TEMPLATE, 0x01), "CMD:0000,CNT:01,DATA:FFFF000000,SUM:5E\r\n");
    EXPECT_EQ(Frame(CONNECT_TEMPLATE, 0xFF), "CMD:0000,CNT:FF,DATA:FFFF000000,SUM:89\r\n");
    EXPECT_EQ(Frame(CONNECT_TEMPLATE, 0x00).size(), 40u);
}

TEST(CommandFrames, WorkedExamplesByteForByte) {
    EXPECT_EQ(Frame(OPEN_TEMPLATE, 0x05, 2 | OPEN_FOR_READ_FLAG), "CMD:9330,CNT:05,POS:0082,SUM:DB\r\n");
    EXPECT_EQ(Frame(OPEN_TEMPLATE, 0x06, 2), "CMD:9330,CNT:06,POS:0002,SUM:D4\r\n");
    EXPECT_EQ(Frame(READ_TEMPLATE, 0x06, 2), "CMD:9030,CNT:06,POS:0002,SUM:D1\r\n");
    EXPECT_EQ(Frame(CLOSE_TEMPLATE, 0x07, 2), "CMD:9430,CNT:07,POS:0002,SUM:D6\r\n");
    EXPECT_EQ(Frame(REMOVE_TEMPLATE, 0x00, 14), "CMD:9530,CNT:00,POS:000E,SUM:E3\r\n");
    EXPECT_EQ(Frame(OPEN_TEMPLATE, 0x00, 14).size(), 33u);

    int sequence = 7;
    std::string text = FormatCommand(WRITE_TEMPLATE, sequence, 3);
    const std::uint8_t abc[] = {0x61, 0x62, 0x63};
    AppendDataField(text, abc, sizeof abc);
    EXPECT_EQ(CompleteFrame(text), "CMD:9130,CNT:07,POS:0003,DATA:616263,SUM:8C\r\n");
}

TEST(CommandFrames, SequenceAdvancesOncePerFormatAndWraps) {
    int sequence = 0xFE;
    EXPECT_EQ(FormatCommand(READ_TEMPLATE, sequence, 1), "CMD:9030,CNT:FE,POS:0001,");
    EXPECT_EQ(sequence, 0xFF);
    EXPECT_EQ(FormatCommand(CLOSE_TEMPLATE, sequence, 1), "CMD:9430,CNT:FF,POS:0001,");
    EXPECT_EQ(sequence, 0x00);
    EXPECT_EQ(FormatCommand(CONNECT_TEMPLATE, sequence), "CMD:0000,CNT:00,DATA:FFFF000000,");
    EXPECT_EQ(sequence, 0x01);
}

TEST(CommandFrames, WriteDataIsTwoUpperCaseDigitsPerByteNeverSignExtended) {
    std::vector<std::uint8_t> piece(256);
    for (size_t i = 0; i < piece.size(); ++i) piece[i] = static_cast<std::uint8_t>(255 - i);
    int sequence = 0;
    std::string text = FormatCommand(WRITE_TEMPLATE, sequence, 0);
    AppendDataField(text, piece.data(), piece.size());
    const std::string frame = CompleteFrame(text);
    EXPECT_EQ(frame.size(), 39u + 2u * 256u);
    EXPECT_EQ(frame.substr(30, 8), "FFFEFDFC");
    EXPECT_EQ(frame.find_first_of("abcdef"), std::string::npos);
    // The checksum covers everything before "SUM:" and nothing after it.
    const size_t sumAt = frame.rfind("SUM:");
    char expected[3];
    std::snprintf(expected, sizeof expected, "%02X", FrameChecksum(frame.data(), sumAt));
    EXPECT_EQ(frame.substr(sumAt + 4, 2), expected);
}

TEST(CommandFrames, ASumThatIsAMultipleOf256IsWrittenAs00) {
    // "CMD:9330,RES:OK," sums to 0x3F3; 13 more bytes of 0x01 bring it to 0x400.
    std::string text = "CMD:9330,RES:OK,";
    text.append(13, '\x01');
    EXPECT_EQ(CompleteFrame(text).substr(text.size()), "SUM:00\r\n");
}

#pragma once
// Command frames: key:value fields ending in commas, then "SUM:%02X\r\n" where the sum is
// the 8-bit additive checksum of every byte before "SUM:".

#include <cstddef>
#include <cstdint>
#include <string>

// Text before the checksum field of each command, formatted with (sequence, slot/POS).
inline constexpr char CONNECT_TEMPLATE[] = "CMD:0000,CNT:%02X,DATA:FFFF000000,";
inline constexpr char OPEN_TEMPLATE[] = "CMD:9330,CNT:%02X,POS:%04X,";
inline constexpr char READ_TEMPLATE[] = "CMD:9030,CNT:%02X,POS:%04X,";
inline constexpr char CLOSE_TEMPLATE[] = "CMD:9430,CNT:%02X,POS:%04X,";
inline constexpr char WRITE_TEMPLATE[] = "CMD:9130,CNT:%02X,POS:%04X,DATA:";
inline constexpr char REMOVE_TEMPLATE[] = "CMD:9530,CNT:%02X,POS:%04X,";

// Bit added to POS when a slot is opened for reading.
inline constexpr int OPEN_FOR_READ_FLAG = 0x80;

// Sum of the byte values modulo 256.
std::uint8_t FrameChecksum(const char* bytes, std::size_t length);
inline std::uint8_t FrameChecksum(const std::string& text) {
    return FrameChecksum(text.data(), text.size());
}

// Formats a command template with the current sequence count (and POS), then advances the
// count to (count + 1) modulo 256. Every formatted command takes a count, sent or not.
std::string FormatCommand(const char* commandTemplate, int& sequence, int pos = 0);

// Appends "%02X" for each byte, first byte first, then the closing ",".
void AppendDataField(std::string& text, const std::uint8_t* bytes, std::size_t count);

// The complete frame: text + "SUM:%02X\r\n" with FrameChecksum(text).
std::string CompleteFrame(const std::string& text);

#include "protocol/Frame.h"

#include "support/Text.h"

std::uint8_t FrameChecksum(const char* bytes, std::size_t length) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < length; ++i)
        sum = static_cast<std::uint8_t>(sum + static_cast<unsigned char>(bytes[i]));
    return sum;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::string FormatCommand(const char* commandTemplate, int& sequence, int pos) {
    // The templates are the constants above; the connect template ignores `pos`.
    std::string text = FormatNarrow(commandTemplate, static_cast<unsigned>(sequence),
                                    static_cast<unsigned>(pos));
    sequence = (sequence + 1) % 256;
    return text;
}
#pragma GCC diagnostic pop

void AppendDataField(std::string& text, const std::uint8_t* bytes, std::size_t count) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    text.reserve(text.size() + 2 * count + 1);
    for (std::size_t i = 0; i < count; ++i) {
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0x0F];
    }
    text += ',';
}

std::string CompleteFrame(const std::string& text) {
    std::string frame = text;
    AppendFormatNarrow(frame, "SUM:%02X\r\n", static_cast<unsigned>(FrameChecksum(text)));
    return frame;
}

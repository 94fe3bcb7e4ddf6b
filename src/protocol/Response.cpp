#include "protocol/Response.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "protocol/Frame.h"
#include "support/Text.h"

namespace {
std::string_view HeldText(const char* buffer, int length) {
    if (length <= 0) return {};
    const auto held = static_cast<size_t>(std::min(length, RX_BUFFER_SIZE));
    const void* nul = std::memchr(buffer, '\0', held);
    const size_t end = nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - buffer) : held;
    return std::string_view(buffer, end);
}

void SplitField(const std::string& field, ResponseFields& fields) {
    int position = 0;
    std::string key = Tokenize(field, ":", position);
    std::string value;
    // A field made only of colons leaves no position to read a value from: it gives an
    // entry with an empty key and value, which no handler looks for.
    if (position >= 0) value = Tokenize(field, "\r\n", position);
    fields.push_back({std::move(key), std::move(value)});
}
}  // namespace

void ParseResponse(char* buffer, int& length, ResponseFields& fields) {
    const std::string_view text = HeldText(buffer, length);
    const size_t lineEnd = text.find("\r\n");
    const size_t sumAt = text.find("SUM:");
    if (lineEnd == std::string_view::npos || sumAt == std::string_view::npos) return;

    fields.clear();
    const std::uint8_t checksum = FrameChecksum(buffer, sumAt);
    const size_t frameLength = lineEnd + 2;
    const std::string frame(buffer, frameLength);

    const size_t held = static_cast<size_t>(length);
    std::memmove(buffer, buffer + frameLength, held - frameLength);
    std::memset(buffer + (held - frameLength), 0, frameLength);
    length -= static_cast<int>(frameLength);

    int position = 0;
    for (;;) {
        const std::string field = Tokenize(frame, ",", position);
        if (field.empty()) break;
        SplitField(field, fields);
    }

    for (const ResponseField& entry : fields) {
        if (entry.key == "SUM" &&
            (static_cast<unsigned long>(HexToLong(entry.value)) & 0xFFUL) == checksum)
            return;
    }
    fields.clear();
}

int DropNulBytes(char* bytes, int count) {
    char* end = std::remove(bytes, bytes + std::max(count, 0), '\0');
    return static_cast<int>(end - bytes);
}

void AcceptReceived(char* buffer, int& length, int count) {
    if (count <= 0) return;
    char* fresh = buffer + length;
    const int kept = DropNulBytes(fresh, count);
    std::memset(fresh + kept, 0, static_cast<size_t>(count - kept));
    length += kept;
}

bool HoldsCompleteFrame(const char* buffer, int length) {
    const std::string_view text = HeldText(buffer, length);
    return text.find("\r\n") != std::string_view::npos &&
           text.find("SUM:") != std::string_view::npos;
}

bool DiscardStalledBuffer(char* buffer, int& length) {
    if (length < RX_BUFFER_SIZE || HoldsCompleteFrame(buffer, length)) return false;
    std::memset(buffer, 0, RX_BUFFER_SIZE);
    length = 0;
    return true;
}

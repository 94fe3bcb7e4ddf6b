#include "AnswerDamage.h"

#include <cstdio>

namespace AnswerDamage {

namespace {
// A read answer carries at most 1024 bytes.
constexpr std::size_t kLongDataDigits = 2 * (1024 + 1);
}  // namespace

std::string WithBadChecksum(const std::string& body) {
    unsigned sum = 0;
    for (const char c : body) sum += static_cast<unsigned char>(c);
    char tail[16];
    std::snprintf(tail, sizeof tail, "SUM:%02X\r\n", (sum + 1) & 0xFF);
    return body + tail;
}

std::string WithGarbageBefore(const std::string& answer) {
    return std::string("\0\0~#noise\0*", 11) + "\r\n" + answer;
}

std::pair<std::string, std::string> InHalves(const std::string& answer) {
    const std::size_t half = answer.size() / 2;
    return {answer.substr(0, half), answer.substr(half)};
}

std::string OddDigits(const std::string& digits) {
    return digits.empty() ? "0" : digits.substr(0, digits.size() - 1);
}

std::string LongDigits(std::string digits) {
    while (digits.size() < kLongDataDigits) digits += "A5";
    return digits;
}

}  // namespace AnswerDamage

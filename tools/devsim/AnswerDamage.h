#pragma once
// The ways a line or a misbehaving device damage one answer, in one place for the
// simulator's faults and for the tests that damage scripted answers. An answer is its body
// ("CMD:9030,RES:OK,...,") followed by "SUM:%02X\r\n".

#include <string>
#include <utility>

namespace AnswerDamage {

// The body closed with a checksum one above its own.
std::string WithBadChecksum(const std::string& body);
// A line of noise with NUL bytes before the answer. Its bytes do not sum to a multiple of
// 256, so it cannot verify with the answer's SUM behind it.
std::string WithGarbageBefore(const std::string& answer);
// The answer in two halves, as two writes.
std::pair<std::string, std::string> InHalves(const std::string& answer);
// DATA digits one short: an odd count (a single digit when there were none).
std::string OddDigits(const std::string& digits);
// DATA digits padded to more than a read answer may carry (a piece and one byte).
std::string LongDigits(std::string digits);

}  // namespace AnswerDamage

#pragma once
// Response reception: the receive buffer holds the bytes that arrived and have not been
// taken yet; ParseResponse takes the first complete line (up to CR LF) out of it, splits it
// into key/value fields and keeps them only when one SUM field verifies the checksum.

#include <string>
#include <vector>

inline constexpr int RX_BUFFER_SIZE = 4096;

struct ResponseField {
    std::string key;
    std::string value;
};
using ResponseFields = std::vector<ResponseField>;

// `buffer` holds `length` received bytes at its front (no NUL among them) and has room for
// RX_BUFFER_SIZE bytes plus a terminating NUL.
//  - no CR LF or no "SUM:" yet: nothing is consumed, `fields` is left as it is;
//  - otherwise the first line is consumed; `fields` holds its fields in order when a SUM
//    field's low 8 bits match the checksum of every byte before the first "SUM:", and is
//    empty when none does.
void ParseResponse(char* buffer, int& length, ResponseFields& fields);

// Removes NUL bytes from `count` freshly received bytes (the protocol is ASCII text and the
// parser must see every held byte); returns how many bytes remain.
int DropNulBytes(char* bytes, int count);

// Takes `count` bytes that a read has just placed at buffer + length: drops the NUL bytes
// among them, keeps the bytes after the held text zero and adds what remains to `length`.
void AcceptReceived(char* buffer, int& length, int count);

// True when the held text has a CR LF and a "SUM:", that is when ParseResponse would take
// a line out of it.
bool HoldsCompleteFrame(const char* buffer, int length);

// A full buffer that holds no complete frame can never make progress: its content is
// discarded so that reception goes on. Returns true when it discarded.
bool DiscardStalledBuffer(char* buffer, int& length);

#pragma once
// Keeps whatever OpenSSL reports while decoding foreign bytes off the thread's error queue,
// so that rejected bytes leave no stale error behind for the next OpenSSL caller.

#include <openssl/err.h>

class ErrorQueueMark {
public:
    ErrorQueueMark() { ERR_set_mark(); }
    ~ErrorQueueMark() { ERR_pop_to_mark(); }
    ErrorQueueMark(const ErrorQueueMark&) = delete;
    ErrorQueueMark& operator=(const ErrorQueueMark&) = delete;
};

#pragma once

#include <cstddef>

// Receive buffer of a libcurl transfer. The bytes are always followed by one
// NUL byte, so data can be read as text up to its first NUL.
struct ResponseBuffer {
    static constexpr size_t kDefaultLimit = size_t(64) * 1024 * 1024;

    char* data = nullptr;
    size_t size = 0;
    size_t limit = kDefaultLimit;  // most bytes accepted; more aborts the transfer
    size_t capacity = 0;           // bytes allocated for data
    bool overflow = false;         // bytes were refused (limit reached or no memory)

    ResponseBuffer() = default;
    ResponseBuffer(const ResponseBuffer&) = delete;
    ResponseBuffer& operator=(const ResponseBuffer&) = delete;
    ~ResponseBuffer();
};

// libcurl write callback (CURLOPT_WRITEFUNCTION) with a ResponseBuffer as
// CURLOPT_WRITEDATA. Returns the number of bytes taken, or 0 to make libcurl
// abort the transfer when the buffer would pass its limit or cannot grow.
size_t AppendToBuffer(char* bytes, size_t itemSize, size_t itemCount, void* buffer);

#include "service/responsebuffer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

ResponseBuffer::~ResponseBuffer()
{
    std::free(data);
}

namespace {
// Grows the block so it holds at least needed bytes, doubling to keep the
// number of reallocations small for large answers.
bool Reserve(ResponseBuffer& buffer, size_t needed)
{
    if (needed <= buffer.capacity)
        return true;
    size_t capacity = buffer.capacity < 4096 ? 4096 : buffer.capacity;
    while (capacity < needed)
        capacity = capacity > SIZE_MAX / 2 ? needed : capacity * 2;
    char* grown = static_cast<char*>(std::realloc(buffer.data, capacity));
    if (!grown)
        return false;
    buffer.data = grown;
    buffer.capacity = capacity;
    return true;
}
}  // namespace

size_t AppendToBuffer(char* bytes, size_t itemSize, size_t itemCount, void* target)
{
    auto& buffer = *static_cast<ResponseBuffer*>(target);
    // Returning a count other than the one given makes libcurl abort the
    // transfer with CURLE_WRITE_ERROR; that is how the size cap works.
    if (itemSize != 0 && itemCount > SIZE_MAX / itemSize) {
        buffer.overflow = true;
        return 0;
    }
    const size_t n = itemSize * itemCount;
    if (buffer.size > buffer.limit || n > buffer.limit - buffer.size || !Reserve(buffer, buffer.size + n + 1)) {
        buffer.overflow = true;
        return 0;
    }
    if (n != 0)
        std::memcpy(buffer.data + buffer.size, bytes, n);
    buffer.size += n;
    buffer.data[buffer.size] = '\0';
    return n;
}

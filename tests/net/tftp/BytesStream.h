#pragma once

#include "Stream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

// A stream over bytes in memory, for feeding the client exact contents.
class BytesStream : public TStream {
public:
    explicit BytesStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    int64_t Read(void* buffer, int64_t count) override
    {
        const int64_t size = static_cast<int64_t>(bytes_.size());
        const int64_t n = std::clamp<int64_t>(std::min(count, size - position_), 0, size);
        std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(n));
        position_ += n;
        return n;
    }

    int64_t Seek(int64_t offset, TSeekOrigin origin) override
    {
        const int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_ : static_cast<int64_t>(bytes_.size());
        position_ = base + offset;
        return position_;
    }

private:
    std::vector<uint8_t> bytes_;
    int64_t position_ = 0;
};

// Bytes that tell their own offset apart: a block sent twice or out of order shows.
inline std::vector<uint8_t> Pattern(std::size_t size)
{
    std::vector<uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

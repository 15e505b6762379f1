#include "ReadAhead.h"

#include "StreamErrors.h"

#include <algorithm>

TReadAhead::TReadAhead(TStream& source, std::size_t pieceSize) : source_(source), piece_(pieceSize) {}

void TReadAhead::ReadBuffer(uint8_t* buffer, int64_t count)
{
    while (count > 0) {
        if (taken_ == held_) {
            held_ = static_cast<std::size_t>(source_.Read(piece_.data(), static_cast<int64_t>(piece_.size())));
            taken_ = 0;
            if (held_ == 0)
                throw EReadError();
        }
        const std::size_t part = std::min(static_cast<std::size_t>(count), held_ - taken_);
        std::copy_n(piece_.begin() + static_cast<std::ptrdiff_t>(taken_), part, buffer);
        taken_ += part;
        buffer += part;
        count -= static_cast<int64_t>(part);
    }
}

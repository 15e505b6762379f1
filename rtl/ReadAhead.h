#pragma once

#include "Stream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Takes a stream's bytes front to back in pieces of a fixed size, so that a caller who
// wants a block of a few hundred bytes at a time costs the stream one read per piece
// rather than one per block. The stream's position runs ahead of what was taken by
// up to one piece.
class TReadAhead {
public:
    TReadAhead(TStream& source, std::size_t pieceSize);

    // The next count bytes, or EReadError when the stream ends before them; the bytes
    // it did have are taken all the same.
    void ReadBuffer(uint8_t* buffer, int64_t count);

private:
    TStream& source_;
    std::vector<uint8_t> piece_;
    std::size_t held_ = 0;  // bytes of the piece read from the stream
    std::size_t taken_ = 0; // of those, the bytes already handed out
};

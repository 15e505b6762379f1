#pragma once

#include <cstdint>

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

// A readable, seekable sequence of bytes.
class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to count bytes and returns how many it read: fewer only at the end.
    virtual int64_t Read(void* buffer, int64_t count) = 0;

    // Moves the position and returns the new one.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

    int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(int64_t position) { Seek(position, soBeginning); }

    // The length in bytes; the position is left where it was.
    int64_t Size();

    // Reads exactly count bytes, or raises EReadError.
    void ReadBuffer(void* buffer, int64_t count);
};

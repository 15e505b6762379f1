#include "Stream.h"

#include "StreamErrors.h"

int64_t TStream::Size()
{
    const int64_t position = Position();
    const int64_t size = Seek(0, soEnd);
    Seek(position, soBeginning);
    return size;
}

void TStream::ReadBuffer(void* buffer, int64_t count)
{
    if (count != 0 && Read(buffer, count) != count)
        throw EReadError();
}

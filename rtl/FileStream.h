#pragma once

#include "Stream.h"

#include <string>

// A local file opened for reading, with no sharing while it is open: an exclusive
// lock is taken on it, so another opener that asks for a lock (this class included,
// in this or any process) is refused until the stream is closed. Linux locks are
// advisory, so programs that read without asking are not kept out.
class TFileStream : public TStream {
public:
    // Raises EFOpenError "Cannot open file <fileName>" when the file is missing,
    // unreadable, not a regular file, or held by another TFileStream.
    explicit TFileStream(const std::string& fileName);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;

private:
    int fd_ = -1;
};

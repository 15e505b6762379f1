#include "FileStream.h"

#include "StreamErrors.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

TFileStream::TFileStream(const std::string& fileName)
    // Without O_NONBLOCK, opening a named pipe would wait for a writer before it can be
    // refused as no regular file; on a regular file the flag changes nothing.
    : fd_(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK))
{
    struct stat status {};
    const bool usable = fd_ >= 0 && ::fstat(fd_, &status) == 0 && S_ISREG(status.st_mode)
        && ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
    if (!usable) {
        if (fd_ >= 0)
            ::close(fd_);
        throw EFOpenError(fileName);
    }
}

TFileStream::~TFileStream() { ::close(fd_); }

int64_t TFileStream::Read(void* buffer, int64_t count)
{
    // A regular file gives short reads only at its end, or when a signal cuts one
    // short: keep reading until the count is met or the file ends.
    auto* next = static_cast<char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(fd_, next + done, static_cast<std::size_t>(count - done));
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw EReadError();
        }
        done += got;
    }
    return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin)
{
    const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
    const off_t position = ::lseek(fd_, offset, whence);
    if (position < 0)
        throw EStreamError("Stream seek error");
    return position;
}

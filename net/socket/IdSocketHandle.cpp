#include "IdSocketHandle.h"

#include "IdException.h"
#include "IdStack.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point DeadlineAfter(int timeoutMs)
{
    return Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
}

int MillisecondsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace

TIdSocketHandle::~TIdSocketHandle() { Close(); }

void TIdSocketHandle::Allocate(int type, int protocol)
{
    fd_ = ::socket(AF_INET, type | SOCK_CLOEXEC, protocol);
    if (fd_ < 0)
        throw EIdInvalidSocket();
    receiveTimeoutMs_ = 0;
}

void TIdSocketHandle::AllocateRaw(int protocol) { Allocate(SOCK_RAW, protocol); }

void TIdSocketHandle::AllocateUdp() { Allocate(SOCK_DGRAM, IPPROTO_UDP); }

void TIdSocketHandle::SetTtl(int ttl)
{
    if (::setsockopt(fd_, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl) != 0)
        throw EIdSocketError(errno);
}

void TIdSocketHandle::SendTo(const std::string& address, uint16_t port, const uint8_t* data, std::size_t length)
{
    const auto ip = IdStack::ParseDottedQuad(address);
    if (!ip)
        throw EIdSocketError(EINVAL);
    SendTo({ntohl(*ip), port}, data, length);
}

void TIdSocketHandle::SendTo(const TIdIPv4Endpoint& to, const uint8_t* data, std::size_t length)
{
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(to.port);
    target.sin_addr.s_addr = htonl(to.address);
    const ssize_t sent = ::sendto(fd_, data, length, 0, reinterpret_cast<const sockaddr*>(&target), sizeof target);
    if (sent < 0) {
        if (errno == EMSGSIZE)
            throw EIdPackageSizeTooBig();
        throw EIdSocketError(errno);
    }
    if (static_cast<std::size_t>(sent) != length)
        throw EIdNotAllBytesSent();
}

bool TIdSocketHandle::Readable(int timeoutMs)
{
    const auto deadline = DeadlineAfter(timeoutMs);
    pollfd waiter{fd_, POLLIN, 0};
    int wait = timeoutMs < 0 ? -1 : timeoutMs;
    while (true) {
        const int rc = ::poll(&waiter, 1, wait);
        if (rc > 0)
            return true;
        if (rc == 0 || errno != EINTR)
            return false;
        // A signal cut the wait short: wait out the rest of the original time only.
        if (timeoutMs >= 0)
            wait = MillisecondsUntil(deadline);
    }
}

TIdSocketHandle::Datagram TIdSocketHandle::ReceiveFrom(uint8_t* buffer, std::size_t capacity)
{
    TIdIPv4Endpoint from;
    const ssize_t received = Receive(buffer, capacity, 0, from);
    if (received < 0)
        throw EIdSocketError(errno);
    return {static_cast<std::size_t>(received), from};
}

std::optional<TIdSocketHandle::Datagram> TIdSocketHandle::ReceiveFrom(uint8_t* buffer, std::size_t capacity, int timeoutMs)
{
    const auto deadline = DeadlineAfter(timeoutMs);
    int wait = timeoutMs < 0 ? -1 : timeoutMs;
    while (true) {
        // To the socket a time-out of zero is no limit, so not waiting is a flag instead.
        if (wait != 0)
            SetReceiveTimeout(wait < 0 ? 0 : wait);
        TIdIPv4Endpoint from;
        const ssize_t received = Receive(buffer, capacity, wait == 0 ? MSG_DONTWAIT : 0, from);
        if (received >= 0)
            return Datagram{static_cast<std::size_t>(received), from};
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return std::nullopt;
        if (errno != EINTR)
            throw EIdSocketError(errno);
        // A signal cut the wait short: wait out the rest of the original time only.
        if (timeoutMs >= 0)
            wait = MillisecondsUntil(deadline);
    }
}

ssize_t TIdSocketHandle::Receive(uint8_t* buffer, std::size_t capacity, int flags, TIdIPv4Endpoint& from)
{
    sockaddr_in source{};
    iovec part{buffer, capacity};
    msghdr message{};
    message.msg_name = &source;
    message.msg_namelen = sizeof source;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    const ssize_t received = ::recvmsg(fd_, &message, flags);
    if (received >= 0 && (message.msg_flags & MSG_TRUNC))
        throw EIdSocketError(EMSGSIZE);
    from = {ntohl(source.sin_addr.s_addr), ntohs(source.sin_port)};
    return received;
}

void TIdSocketHandle::SetReceiveTimeout(int timeoutMs)
{
    if (timeoutMs == receiveTimeoutMs_)
        return;
    const timeval limit{timeoutMs / 1000, timeoutMs % 1000 * 1000};
    if (::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0)
        throw EIdSocketError(errno);
    receiveTimeoutMs_ = timeoutMs;
}

void TIdSocketHandle::Close() noexcept
{
    if (fd_ < 0)
        return;
    ::shutdown(fd_, SHUT_WR);
    ::close(fd_);
    fd_ = -1;
}

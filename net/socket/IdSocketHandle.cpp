#include "IdSocketHandle.h"

#include "IdException.h"
#include "IdStack.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

TIdSocketHandle::~TIdSocketHandle() { Close(); }

void TIdSocketHandle::Allocate(int type, int protocol)
{
    fd_ = ::socket(AF_INET, type | SOCK_CLOEXEC, protocol);
    if (fd_ < 0)
        throw EIdInvalidSocket();
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
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    pollfd waiter{fd_, POLLIN, 0};
    int wait = timeoutMs < 0 ? -1 : timeoutMs;
    while (true) {
        const int rc = ::poll(&waiter, 1, wait);
        if (rc > 0)
            return true;
        if (rc == 0 || errno != EINTR)
            return false;
        // A signal cut the wait short: wait out the rest of the original time only.
        if (timeoutMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
    }
}

TIdSocketHandle::Datagram TIdSocketHandle::ReceiveFrom(uint8_t* buffer, std::size_t capacity)
{
    sockaddr_in from{};
    iovec part{buffer, capacity};
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    const ssize_t received = ::recvmsg(fd_, &message, 0);
    if (received < 0)
        throw EIdSocketError(errno);
    if (message.msg_flags & MSG_TRUNC)
        throw EIdSocketError(EMSGSIZE);
    return {static_cast<std::size_t>(received), {ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)}};
}

void TIdSocketHandle::Close() noexcept
{
    if (fd_ < 0)
        return;
    ::shutdown(fd_, SHUT_WR);
    ::close(fd_);
    fd_ = -1;
}

#pragma once

#include "IdIPv4Endpoint.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include <sys/types.h>

// One datagram socket (raw IPv4 or UDP), closed when the handle goes. Each operation
// wraps one system call and turns its failure into one typed error.
class TIdSocketHandle {
public:
    TIdSocketHandle() = default;
    ~TIdSocketHandle();
    TIdSocketHandle(const TIdSocketHandle&) = delete;
    TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

    bool Allocated() const noexcept { return fd_ >= 0; }

    // Open an IPv4 raw socket of the given IP protocol, or an unbound IPv4 UDP socket.
    // Either raises EIdInvalidSocket when the system refuses.
    void AllocateRaw(int protocol);
    void AllocateUdp();

    // IP-level time-to-live of every packet sent from now on; EIdSocketError on refusal.
    void SetTtl(int ttl);

    // Send one datagram, whole or not at all: EIdPackageSizeTooBig, EIdNotAllBytesSent
    // or EIdSocketError. A dotted address that is no IPv4 address is EIdSocketError
    // with EINVAL.
    void SendTo(const TIdIPv4Endpoint& to, const uint8_t* data, std::size_t length);
    void SendTo(const std::string& address, uint16_t port, const uint8_t* data, std::size_t length);

    // Wait until a datagram can be read: true when one can, false when the time ran
    // out or the wait itself failed. A negative time-out waits without limit.
    bool Readable(int timeoutMs);

    // One whole datagram into the buffer. A datagram longer than the buffer is an
    // error (EMSGSIZE), never cut short. A raw ICMP socket yields the IP header too.
    struct Datagram {
        std::size_t length = 0;
        TIdIPv4Endpoint from;
    };
    Datagram ReceiveFrom(uint8_t* buffer, std::size_t capacity);

    // The same, waiting at most timeoutMs for the datagram (negative: without limit);
    // nothing when none came in time. The wait is the socket's own receive time-out,
    // set again only when it changes, so that in a lock-step transfer each datagram
    // costs one system call rather than a wait and a read.
    std::optional<Datagram> ReceiveFrom(uint8_t* buffer, std::size_t capacity, int timeoutMs);

    // Shut down the sending side and close; failures of either are of no interest.
    void Close() noexcept;

private:
    void Allocate(int type, int protocol);

    // One recvmsg: its result, errno telling why when negative. A datagram longer than
    // the buffer raises.
    ssize_t Receive(uint8_t* buffer, std::size_t capacity, int flags, TIdIPv4Endpoint& from);

    // SO_RCVTIMEO, where zero means no limit; EIdSocketError on refusal.
    void SetReceiveTimeout(int timeoutMs);

    int fd_ = -1;
    int receiveTimeoutMs_ = 0; // as the socket has it now
};

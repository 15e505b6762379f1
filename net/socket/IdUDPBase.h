#pragma once

#include "IdComponent.h"
#include "IdIPv4Endpoint.h"
#include "IdSocketHandle.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// One received datagram, with where it came from. The bytes stay valid until the
// component's next receive.
struct TIdUDPDatagram {
    std::span<const uint8_t> bytes;
    TIdIPv4Endpoint from;
};

// A component that owns at most one unbound IPv4 UDP socket. The socket is opened
// when the component becomes active, or at the first send or receive.
class TIdUDPBase : public TIdComponent {
public:
    // Wait without limit for each datagram.
    static constexpr int32_t TimeoutInfinite = -2;

    // True while a socket is open. Setting it opens one, or closes it.
    bool Active() const { return socket_.Allocated(); }
    void SetActive(bool active);

    // The longest datagram the component accepts.
    int32_t BufferSize() const { return bufferSize_; }
    void SetBufferSize(int32_t size) { bufferSize_ = size; }

    // Milliseconds to wait for each datagram; negative: no limit.
    int32_t ReceiveTimeout() const { return receiveTimeout_; }
    void SetReceiveTimeout(int32_t milliseconds) { receiveTimeout_ = milliseconds; }

protected:
    // Resolves host, then sends the bytes as one datagram.
    void SendBuffer(const std::string& host, int32_t port, const uint8_t* data, std::size_t length);

    // The two operations that touch the network are virtual, the seam where a fuzz
    // target replays a script of datagrams through the whole transfer without sockets.

    // Sends the bytes as one datagram to an address that needs no resolving, such as
    // the sender of a datagram received before.
    virtual void SendBuffer(const TIdIPv4Endpoint& to, const uint8_t* data, std::size_t length);

    // Waits at most timeoutMs (negative: no limit) and reads one whole datagram of
    // any length and any sender; nothing when none came in time. The caller looks
    // at the sender first, then lets CheckDatagram judge what it means to accept.
    virtual std::optional<TIdUDPDatagram> ReceiveDatagram(int timeoutMs);

    // What an accepted datagram must be: not empty (EIdUDPReceiveErrorZeroBytes) and
    // no longer than BufferSize (EIdSocketError with EMSGSIZE).
    void CheckDatagram(const TIdUDPDatagram& datagram) const;

    void CloseBinding() noexcept { socket_.Close(); }

private:
    TIdSocketHandle& Binding();

    int32_t bufferSize_ = 8192;
    int32_t receiveTimeout_ = TimeoutInfinite;
    TIdSocketHandle socket_;
    // Room for the largest IPv4 UDP datagram, made at the first receive.
    std::vector<uint8_t> receiveBuffer_;
};

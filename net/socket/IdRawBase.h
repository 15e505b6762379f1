#pragma once

#include "IdComponent.h"
#include "IdSocketHandle.h"

#include <cstddef>
#include <cstdint>
#include <string>

// A component that talks raw IPv4 to one host: it owns at most one raw socket of
// protocol Protocol, and every fetch of that socket (re)applies OutgoingTtl.
class TIdRawBase : public TIdComponent {
public:
    const std::string& Host() const { return host_; }
    void SetHost(const std::string& host) { host_ = host; }

    // Written into the destination address; IP itself has no ports.
    int32_t Port() const { return port_; }
    void SetPort(int32_t port) { port_ = port; }

    int32_t Protocol() const { return protocol_; }
    void SetProtocol(int32_t protocol) { protocol_ = protocol; }

    int32_t ReceiveTimeout() const { return receiveTimeout_; }
    void SetReceiveTimeout(int32_t milliseconds) { receiveTimeout_ = milliseconds; }

    int32_t BufferSize() const { return bufferSize_; }
    void SetBufferSize(int32_t size) { bufferSize_ = size; }

    int32_t OutgoingTtl() const { return outgoingTtl_; }
    // Opens the socket at once if none is open, so a refusal is raised right here.
    void SetOutgoingTtl(int32_t ttl);

protected:
    // The socket, opened if none is, with the time-to-live option applied.
    TIdSocketHandle& Binding();

    // Resolves Host, then sends the bytes as one datagram.
    void Send(const uint8_t* data, std::size_t length);

    // Waits at most timeoutMs (a negative value: ReceiveTimeout) and receives one
    // datagram. Returns its length, or 0 when nothing arrived in time.
    std::size_t ReceiveBuffer(uint8_t* buffer, std::size_t capacity, int timeoutMs = -1);

    void CloseBinding();

private:
    std::string host_;
    int32_t port_ = 0;
    int32_t protocol_ = 255;
    int32_t receiveTimeout_ = 0;
    int32_t bufferSize_ = 8192;
    int32_t outgoingTtl_ = 128;
    TIdSocketHandle socket_;
};

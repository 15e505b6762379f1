#pragma once

#include "IdUDPBase.h"

#include <cstdint>
#include <string>

// A UDP component aimed at one server: Host and Port say where SendBuffer goes
// when no other destination is named.
class TIdUDPClient : public TIdUDPBase {
public:
    const std::string& Host() const { return host_; }
    void SetHost(const std::string& host) { host_ = host; }

    int32_t Port() const { return port_; }
    void SetPort(int32_t port) { port_ = port; }

protected:
    using TIdUDPBase::SendBuffer;
    void SendBuffer(const uint8_t* data, std::size_t length) { SendBuffer(host_, port_, data, length); }

private:
    std::string host_;
    int32_t port_ = 0;
};

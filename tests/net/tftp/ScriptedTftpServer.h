#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

// A TFTP server that is nothing but a script, on loopback: after the k-th datagram
// it receives, on any of its sockets, it plays turn k of the script to that
// datagram's sender, and it records every datagram with the socket it reached.
// Its sockets: Listen, where the client's write request goes; Transfer, another
// port of 127.0.0.1 that a real server would answer from; and two strangers, one
// on yet another port of 127.0.0.1 and one on 127.0.0.2 with Transfer's port number.
class ScriptedTftpServer {
public:
    enum Socket { Listen, Transfer, StrangerPort, StrangerHost, SocketCount };

    struct Send {
        Socket from;
        std::vector<uint8_t> bytes;
        int delayMs = 0; // a pause before this datagram goes out
    };
    using Turn = std::vector<Send>;

    struct Received {
        Socket at;
        std::vector<uint8_t> bytes;
    };

    explicit ScriptedTftpServer(std::vector<Turn> script) : script_(std::move(script))
    {
        Open(Listen, "127.0.0.1", 0);
        Open(Transfer, "127.0.0.1", 0);
        Open(StrangerPort, "127.0.0.1", 0);
        Open(StrangerHost, "127.0.0.2", ports_[Transfer]);
        thread_ = std::thread([this] { Run(); });
    }

    ~ScriptedTftpServer()
    {
        Stop();
        for (const int fd : fds_)
            if (fd >= 0)
                close(fd);
    }

    uint16_t ListenPort() const { return ports_[Listen]; }
    uint16_t TransferPort() const { return ports_[Transfer]; }

    // Everything received so far; stops the script. The client has returned by then,
    // and loopback delivers at send time, so nothing it sent is still on the way.
    const std::vector<Received>& Finish()
    {
        Stop();
        return received_;
    }

private:
    void Open(Socket socket, const char* address, uint16_t port)
    {
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in self{};
        self.sin_family = AF_INET;
        self.sin_port = htons(port);
        inet_pton(AF_INET, address, &self.sin_addr);
        socklen_t length = sizeof self;
        fds_[socket] = fd;
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0
            || getsockname(fd, reinterpret_cast<sockaddr*>(&self), &length) != 0)
            throw std::runtime_error(std::string("cannot bind a scripted server socket on ") + address);
        ports_[socket] = ntohs(self.sin_port);
    }

    void Stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }

    void Run()
    {
        std::size_t turn = 0;
        while (true) {
            const bool stopping = stop_;
            std::array<pollfd, SocketCount> waiters{};
            for (int i = 0; i < SocketCount; ++i)
                waiters[i] = {fds_[i], POLLIN, 0};
            // Once told to stop, take what is queued and end.
            if (poll(waiters.data(), waiters.size(), stopping ? 0 : 10) <= 0) {
                if (stopping)
                    return;
                continue;
            }
            for (int i = 0; i < SocketCount; ++i) {
                if (!(waiters[i].revents & POLLIN))
                    continue;
                sockaddr_in from{};
                socklen_t length = sizeof from;
                const ssize_t n = recvfrom(fds_[i], buffer_.data(), buffer_.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
                if (n < 0)
                    continue;
                received_.push_back({static_cast<Socket>(i), {buffer_.begin(), buffer_.begin() + n}});
                if (turn < script_.size())
                    Play(script_[turn++], from);
            }
        }
    }

    void Play(const Turn& turn, const sockaddr_in& to)
    {
        for (const auto& send : turn) {
            if (stop_)
                return;
            if (send.delayMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(send.delayMs));
            sendto(fds_[send.from], send.bytes.data(), send.bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                   sizeof to);
        }
    }

    std::vector<Turn> script_;
    std::array<int, SocketCount> fds_{-1, -1, -1, -1};
    std::array<uint16_t, SocketCount> ports_{};
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::vector<Received> received_;
    std::array<uint8_t, 65536> buffer_{};
};

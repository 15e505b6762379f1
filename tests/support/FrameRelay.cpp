// frame-relay IF_A IF_B [--delay-us N] [--loss PCT] [--duplicate PCT] [--reorder PCT]
//                      [--reorder-hold-us N] [--seed N] [--trace FILE]
//
// Forwards every Ethernet frame that arrives on one interface out of the other, after
// a delay and with the faults asked for. It stands in for a lossy, slow link between
// two test namespaces on kernels without netem. It prints "ready" on standard output
// once both interfaces are open, and its counts on standard error when SIGTERM or
// SIGINT ends it. With --trace it writes one line per frame to FILE: the seconds since
// the start, ">>" for a frame from IF_A to IF_B or "<<" for one the other way, what the
// frame is, and what befell it (lost, or passed or duplicated, with the delay of each
// copy).

#include "FrameFaults.h"
#include "FrameTrace.h"

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Frames waiting beyond this are dropped, as a full queue of a real link would.
constexpr std::size_t QueueLimit = 4096;
constexpr std::size_t FrameCapacity = 65536;
constexpr std::chrono::microseconds SpinWindow{200};

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) { stopRequested = 1; }

std::runtime_error SystemError(const std::string& what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

// A packet socket that sees every frame arriving on one interface, whatever its
// destination address, and none of the frames it sends itself.
int OpenPort(const std::string& interfaceName)
{
    const unsigned index = if_nametoindex(interfaceName.c_str());
    if (index == 0)
        throw SystemError("no interface " + interfaceName);
    // Protocol 0 receives nothing until the bind below, so no frame of another
    // interface slips in between.
    const int fd = socket(AF_PACKET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw SystemError("packet socket");
    sockaddr_ll address{};
    address.sll_family = AF_PACKET;
    address.sll_protocol = htons(ETH_P_ALL);
    address.sll_ifindex = static_cast<int>(index);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw SystemError("bind to " + interfaceName);
    packet_mreq promiscuous{};
    promiscuous.mr_ifindex = static_cast<int>(index);
    promiscuous.mr_type = PACKET_MR_PROMISC;
    if (setsockopt(fd, SOL_PACKET, PACKET_ADD_MEMBERSHIP, &promiscuous, sizeof promiscuous) != 0)
        throw SystemError("promiscuous mode on " + interfaceName);
    const int on = 1;
    if (setsockopt(fd, SOL_PACKET, PACKET_IGNORE_OUTGOING, &on, sizeof on) != 0)
        throw SystemError("ignoring outgoing frames on " + interfaceName);
    return fd;
}

struct QueuedFrame {
    Clock::time_point due;
    uint64_t serial; // keeps frames due at the same time in their order of arrival
    int port;
    std::vector<uint8_t> bytes;
};

bool LeavesLater(const QueuedFrame& a, const QueuedFrame& b)
{
    return a.due != b.due ? a.due > b.due : a.serial > b.serial;
}

struct Counts {
    uint64_t received = 0, sent = 0, lost = 0, duplicated = 0, reordered = 0, overflowed = 0, sendFailed = 0;
};

class Relay {
public:
    Relay(int portA, int portB, const FrameFaults& faults, std::FILE* trace)
        : ports_{portA, portB}, dice_(faults), trace_(trace)
    {
    }

    void Run()
    {
        pollfd polled[2] = {{ports_[0], POLLIN, 0}, {ports_[1], POLLIN, 0}};
        sigset_t duringWait;
        sigemptyset(&duringWait);
        while (!stopRequested) {
            timespec wait{};
            timespec* limit = nullptr;
            if (!queue_.empty()) {
                // A timer wakes this process up to a tenth of a millisecond late on a
                // virtual machine, a fifth of a LAN's delay: sleep until shortly before
                // the next frame is due and poll without sleeping from there.
                const auto left = std::max(Clock::duration::zero(), queue_.front().due - Clock::now() - SpinWindow);
                const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
                wait = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
                limit = &wait;
            }
            // The stop signals are blocked everywhere but here, so none is missed
            // between the test of stopRequested and the wait.
            if (ppoll(polled, 2, limit, &duringWait) < 0 && errno != EINTR)
                throw SystemError("poll");
            for (int side = 0; side < 2; ++side)
                if (polled[side].revents & POLLIN)
                    Take(side);
            SendDue();
        }
    }

    const Counts& Totals() const { return counts_; }

private:
    void Take(int side)
    {
        for (;;) {
            const ssize_t length = recv(ports_[side], buffer_.data(), buffer_.size(), 0);
            if (length < 0) {
                if (errno == EAGAIN || errno == EINTR)
                    return;
                throw SystemError("receive");
            }
            ++counts_.received;
            const Clock::time_point arrival = Clock::now();
            const FrameFate fate = dice_.Roll();
            counts_.lost += fate.departures.empty();
            counts_.duplicated += fate.duplicated;
            counts_.reordered += fate.reordered;
            if (trace_)
                Trace(side, arrival, fate, static_cast<std::size_t>(length));
            for (std::size_t copy = 0; copy < fate.departures.size(); ++copy) {
                if (queue_.size() >= QueueLimit) {
                    ++counts_.overflowed;
                    continue;
                }
                queue_.push_back({arrival + fate.departures[copy], serial_++, ports_[1 - side],
                                  std::vector<uint8_t>(buffer_.begin(), buffer_.begin() + length)});
                std::push_heap(queue_.begin(), queue_.end(), LeavesLater);
            }
        }
    }

    void Trace(int side, Clock::time_point arrival, const FrameFate& fate, std::size_t length)
    {
        const std::chrono::duration<double> since = arrival - started_;
        std::string befell = fate.departures.empty() ? "lost" : "passed";
        if (fate.duplicated)
            befell = "duplicated";
        for (const auto departure : fate.departures)
            befell += " " + std::to_string(departure.count()) + "us";
        std::fprintf(trace_, "%.6f %s %s: %s\n", since.count(), side == 0 ? ">>" : "<<",
                     DescribeFrame(buffer_.data(), length).c_str(), befell.c_str());
    }

    void SendDue()
    {
        const Clock::time_point now = Clock::now();
        while (!queue_.empty() && queue_.front().due <= now) {
            std::pop_heap(queue_.begin(), queue_.end(), LeavesLater);
            const QueuedFrame& frame = queue_.back();
            // A frame the link cannot take now is lost, as on a real link.
            if (send(frame.port, frame.bytes.data(), frame.bytes.size(), 0) == static_cast<ssize_t>(frame.bytes.size()))
                ++counts_.sent;
            else
                ++counts_.sendFailed;
            queue_.pop_back();
        }
    }

    int ports_[2];
    FaultDice dice_;
    std::FILE* trace_;
    const Clock::time_point started_ = Clock::now();
    std::vector<uint8_t> buffer_ = std::vector<uint8_t>(FrameCapacity);
    std::vector<QueuedFrame> queue_; // a heap: the frame due first at the front
    uint64_t serial_ = 0;
    Counts counts_;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: frame-relay IF_A IF_B [--delay-us N] [--loss PCT] [--duplicate PCT]\n"
                             "                   [--reorder PCT] [--reorder-hold-us N] [--seed N] [--trace FILE]\n");
        return 2;
    }
    try {
        std::vector<std::string> faultOptions;
        std::FILE* trace = nullptr;
        for (int i = 3; i < argc; ++i) {
            if (std::string(argv[i]) == "--trace" && i + 1 < argc) {
                trace = std::fopen(argv[++i], "w");
                if (!trace)
                    throw SystemError(std::string("trace file ") + argv[i]);
                // Whole lines as they happen, so that a trial can cut out one upload's.
                std::setvbuf(trace, nullptr, _IOLBF, 0);
            } else {
                faultOptions.push_back(argv[i]);
            }
        }
        const FrameFaults faults = ParseFrameFaults(faultOptions);

        sigset_t stopSignals;
        sigemptyset(&stopSignals);
        sigaddset(&stopSignals, SIGTERM);
        sigaddset(&stopSignals, SIGINT);
        sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
        struct sigaction onStop{};
        onStop.sa_handler = RequestStop;
        sigaction(SIGTERM, &onStop, nullptr);
        sigaction(SIGINT, &onStop, nullptr);

        Relay relay(OpenPort(argv[1]), OpenPort(argv[2]), faults, trace);
        std::printf("ready\n");
        std::fflush(stdout);
        relay.Run();
        if (trace)
            std::fclose(trace);

        const Counts& c = relay.Totals();
        std::fprintf(stderr,
                     "frame-relay: %llu frames in, %llu out, %llu lost, %llu duplicated, %llu reordered, "
                     "%llu over the queue limit, %llu not sent\n",
                     static_cast<unsigned long long>(c.received), static_cast<unsigned long long>(c.sent),
                     static_cast<unsigned long long>(c.lost), static_cast<unsigned long long>(c.duplicated),
                     static_cast<unsigned long long>(c.reordered), static_cast<unsigned long long>(c.overflowed),
                     static_cast<unsigned long long>(c.sendFailed));
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "frame-relay: %s\n", error.what());
        return 1;
    }
}

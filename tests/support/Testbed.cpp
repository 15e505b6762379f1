#include "Testbed.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>

namespace {

std::string Script() { return TESTBED_SCRIPT; }

} // namespace

std::optional<std::string> WhyNoNamespaces()
{
    if (geteuid() != 0)
        return "needs root to make network namespaces and open raw sockets";
    if (std::system("command -v ip >/dev/null 2>&1") != 0)
        return "iproute2's ip is not installed";
    return std::nullopt;
}

void RunOrThrow(const std::string& command)
{
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("command failed: " + command);
}

Testbed::Testbed()
{
    static std::atomic<int> serial{0};
    name_ = "mxu" + std::to_string(getpid()) + "-" + std::to_string(serial++);
    RunOrThrow(Script() + " up " + name_ + " " + PcAddress + " " + RouterAddress);
}

Testbed::~Testbed() { std::system((Script() + " down " + name_).c_str()); }

void Testbed::SetRouterLink(bool on) { RunOrThrow(Script() + " link " + name_ + (on ? " on" : " off")); }

void Testbed::SetRouterTtl(int ttl) { RunOrThrow(Script() + " ttl " + name_ + " " + std::to_string(ttl)); }

NetnsScope::NetnsScope(const std::string& netns)
    : home_(open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC))
{
    const int target = open(("/var/run/netns/" + netns).c_str(), O_RDONLY | O_CLOEXEC);
    const bool entered = home_ >= 0 && target >= 0 && setns(target, CLONE_NEWNET) == 0;
    if (target >= 0)
        close(target);
    if (!entered) {
        if (home_ >= 0)
            close(home_);
        throw std::runtime_error("cannot enter network namespace " + netns);
    }
}

NetnsScope::~NetnsScope()
{
    // Failing to return would leave later tests in the test namespace: stop the run.
    if (setns(home_, CLONE_NEWNET) != 0)
        std::abort();
    close(home_);
}

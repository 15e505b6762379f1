#pragma once

#include <optional>
#include <string>

// Why tests that need raw sockets and network namespaces cannot run here, if they
// cannot: such tests skip with this reason rather than pass silently.
std::optional<std::string> WhyNoNamespaces();

// The pc and router test hosts of tests/support/testbed, made for one test and torn
// down with it. The router's kernel answers with TTL 100 until told otherwise.
class Testbed {
public:
    static constexpr const char* PcAddress = "192.0.2.1";
    static constexpr const char* RouterAddress = "192.0.2.2";

    Testbed();
    ~Testbed();
    Testbed(const Testbed&) = delete;
    Testbed& operator=(const Testbed&) = delete;

    const std::string& Name() const { return name_; }
    std::string PcNamespace() const { return name_ + "-pc"; }
    std::string RouterNamespace() const { return name_ + "-router"; }

    // The router's power, as far as the network can tell.
    void SetRouterLink(bool on);
    void SetRouterTtl(int ttl);

private:
    std::string name_;
};

// Runs the calling thread inside a network namespace until the scope ends: sockets
// opened meanwhile belong to that namespace for the rest of their lives.
class NetnsScope {
public:
    explicit NetnsScope(const std::string& netns);
    ~NetnsScope();
    NetnsScope(const NetnsScope&) = delete;
    NetnsScope& operator=(const NetnsScope&) = delete;

private:
    int home_;
};

// Runs a shell command and raises when it fails.
void RunOrThrow(const std::string& command);

#define SKIP_WITHOUT_NAMESPACES()                                                                                     \
    do {                                                                                                               \
        if (const auto reason = WhyNoNamespaces())                                                                     \
            GTEST_SKIP() << *reason;                                                                                   \
    } while (false)

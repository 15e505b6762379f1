#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Debian's TFTP server (tftpd-hpa's in.tftpd), run by a test in the foreground in a
// temporary folder where uploads may create files, and killed with the test. It
// listens on loopback in the machine's own namespace, or, given a namespace that
// the test made, inside that one (through `ip netns exec`).
class TftpServer {
public:
    struct Options {
        // Empty: the machine's own namespace, where the address must be on loopback.
        std::string netns;
        std::string address = "127.0.0.1";
        // 0: a port that is free when the server starts.
        uint16_t port = 0;
        // Passed on to in.tftpd, for instance {"--refuse", "blksize"}.
        std::vector<std::string> arguments;
    };

    // Returns once the server listens; raises std::runtime_error if it does not.
    explicit TftpServer(Options options);
    TftpServer() : TftpServer(Options{}) {}
    ~TftpServer();
    TftpServer(const TftpServer&) = delete;
    TftpServer& operator=(const TftpServer&) = delete;

    const std::string& Address() const { return options_.address; }
    uint16_t Port() const { return options_.port; }
    const std::filesystem::path& Folder() const { return folder_; }

    // The bytes of a file in the server's folder; empty when there is none.
    std::vector<uint8_t> ReadFile(const std::string& name) const;

    // Why no server can be started here, if it cannot: tests skip with this reason.
    static std::optional<std::string> WhyUnavailable();

private:
    bool Listening() const;
    // Kills the server and every child it forked, reaps them, removes the folder.
    void Stop() noexcept;

    Options options_;
    std::filesystem::path folder_;
    pid_t pid_ = -1;
};

#define SKIP_WITHOUT_TFTP_SERVER()                                                                                    \
    do {                                                                                                               \
        if (const auto reason = TftpServer::WhyUnavailable())                                                          \
            GTEST_SKIP() << *reason;                                                                                   \
    } while (false)

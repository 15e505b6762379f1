#include "TftpServer.h"

#include "Testbed.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <thread>

namespace {

constexpr const char* Daemon = "/usr/sbin/in.tftpd";

// A UDP port that nobody in the calling thread's namespace holds right now.
uint16_t FreePort(const std::string& address)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in self{};
    self.sin_family = AF_INET;
    inet_pton(AF_INET, address.c_str(), &self.sin_addr);
    socklen_t length = sizeof self;
    const bool found = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&self), sizeof self) == 0
        && getsockname(fd, reinterpret_cast<sockaddr*>(&self), &length) == 0;
    if (fd >= 0)
        close(fd);
    if (!found)
        throw std::runtime_error("no free UDP port on " + address);
    return ntohs(self.sin_port);
}

std::filesystem::path MakeFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tftpd-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a folder for the TFTP server");
    return pattern;
}

} // namespace

std::optional<std::string> TftpServer::WhyUnavailable()
{
    if (access(Daemon, X_OK) != 0)
        return std::string("tftpd-hpa's ") + Daemon + " is not installed";
    if (geteuid() != 0)
        return "in.tftpd is started as root (-u root), and this test does not run as root";
    return std::nullopt;
}

TftpServer::TftpServer(Options options)
    : options_(std::move(options)), folder_(MakeFolder())
{
    if (options_.port == 0) {
        std::optional<NetnsScope> inside;
        if (!options_.netns.empty())
            inside.emplace(options_.netns);
        options_.port = FreePort(options_.address);
    }

    std::vector<std::string> command;
    if (!options_.netns.empty())
        command = {"/usr/sbin/ip", "netns", "exec", options_.netns};
    const std::vector<std::string> daemon = {
        Daemon, "--foreground", "--address", options_.address + ":" + std::to_string(options_.port),
        "--create", "--user", "root", "--secure", folder_.string(),
    };
    command.insert(command.end(), daemon.begin(), daemon.end());
    command.insert(command.end(), options_.arguments.begin(), options_.arguments.end());
    // The server forks a child per transfer. Orphans of its group come to this process
    // instead of to init, so the destructor can reap every one of them.
    prctl(PR_SET_CHILD_SUBREAPER, 1);

    std::vector<char*> argv;
    for (auto& word : command)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    pid_ = fork();
    if (pid_ < 0)
        throw std::runtime_error("cannot start in.tftpd");
    if (pid_ == 0) {
        // Its own process group, so that the children it forks per transfer die with it.
        setpgid(0, 0);
        execv(argv[0], argv.data());
        _exit(127);
    }
    setpgid(pid_, pid_);

    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!Listening()) {
        int status = 0;
        const bool ended = waitpid(pid_, &status, WNOHANG) == pid_;
        if (ended || std::chrono::steady_clock::now() > giveUp) {
            if (ended)
                pid_ = -1;
            Stop();
            throw std::runtime_error("in.tftpd did not start listening on " + options_.address + ":"
                                     + std::to_string(options_.port));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

TftpServer::~TftpServer() { Stop(); }

void TftpServer::Stop() noexcept
{
    if (pid_ > 0) {
        kill(-pid_, SIGTERM);
        while (waitpid(-pid_, nullptr, 0) > 0 || errno == EINTR) {
        }
        pid_ = -1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

bool TftpServer::Listening() const
{
    // /proc/PID/net/udp lists the sockets of the namespace that the process is in,
    // so this works the same inside a test namespace. Until `ip netns exec` has
    // become in.tftpd, the process is in ours: wait for the daemon's own name.
    const std::string proc = "/proc/" + std::to_string(pid_);
    std::string name;
    std::ifstream(proc + "/comm") >> name;
    if (name != "in.tftpd")
        return false;
    char port[8];
    std::snprintf(port, sizeof port, ":%04X", options_.port);
    std::ifstream table(proc + "/net/udp");
    std::string line;
    while (std::getline(table, line)) {
        // "   0: 0100007F:0045 ...": eight hex digits of address, then the port.
        const auto start = line.find(": ");
        if (start != std::string::npos && line.size() >= start + 15 && line.compare(start + 10, 5, port) == 0)
            return true;
    }
    return false;
}

std::vector<uint8_t> TftpServer::ReadFile(const std::string& name) const
{
    std::ifstream file(folder_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

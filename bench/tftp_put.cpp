// tftp_put HOST PORT FILE REMOTE [BLKSIZE] [--timeout MS]
//
// Uploads one file with our TFTP client, the way the window does, and prints how long
// the upload took and the peak resident memory of this process:
//   elapsed_s 0.412345
//   peak_rss_kib 3584
// A failure prints the client's message on standard error and exits with 1. The
// time-out option shortens the wait for each reply, to keep long trials short.

#include "Exception.h"
#include "IdTrivialFTP.h"

#include <sys/resource.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

namespace {

bool ParseInt(std::string_view text, int& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value > 0;
}

int Usage()
{
    std::fprintf(stderr, "usage: tftp_put HOST PORT FILE REMOTE [BLKSIZE] [--timeout MS]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    int port = 0, blockSize = 1500, timeoutMs = 0;
    std::string positional[5];
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--timeout") {
            if (++i == argc || !ParseInt(argv[i], timeoutMs))
                return Usage();
        } else if (count < 5) {
            positional[count++] = argv[i];
        } else {
            return Usage();
        }
    }
    if (count < 4 || !ParseInt(positional[1], port) || port > 65535 ||
        (count == 5 && !ParseInt(positional[4], blockSize)))
        return Usage();

    try {
        TIdTrivialFTP client;
        client.SetHost(positional[0]);
        client.SetPort(port);
        client.SetRequestedBlockSize(blockSize);
        if (timeoutMs > 0)
            client.SetReceiveTimeout(timeoutMs);

        const auto start = std::chrono::steady_clock::now();
        client.UploadFile(positional[2], positional[3]);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;

        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("elapsed_s %.6f\npeak_rss_kib %ld\n", elapsed.count(), usage.ru_maxrss);
        return 0;
    } catch (const Exception& error) {
        std::fprintf(stderr, "tftp_put: %s\n", error.Message().c_str());
        return 1;
    }
}

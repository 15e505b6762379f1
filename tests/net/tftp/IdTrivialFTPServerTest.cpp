// Whole uploads to Debian's own TFTP server on loopback: what arrives must be the
// source, byte for byte.
#include "BytesStream.h"
#include "IdTrivialFTP.h"
#include "Testbed.h"
#include "TftpServer.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

class TemporaryFile {
public:
    explicit TemporaryFile(const std::vector<uint8_t>& bytes)
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "firmware-XXXXXX").string();
        const int fd = mkstemp(pattern.data());
        close(fd);
        path_ = pattern;
        std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                     static_cast<std::streamsize>(bytes.size()));
    }
    ~TemporaryFile() { std::filesystem::remove(path_); }
    std::string Path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

void ExpectUploadedWhole(TftpServer& server, std::size_t size, int32_t expectedBufferSize)
{
    const auto source = Pattern(size);
    const TemporaryFile file(source);
    TIdTrivialFTP client;
    client.SetHost(server.Address());
    // A server on port 69 is reached through the client's own default.
    if (server.Port() != 69)
        client.SetPort(server.Port());
    const std::string name = "firmware-" + std::to_string(size) + ".bin";
    client.UploadFile(file.Path(), name);
    EXPECT_FALSE(client.Active());
    EXPECT_EQ(client.BufferSize(), expectedBufferSize);
    const auto uploaded = server.ReadFile(name);
    EXPECT_EQ(uploaded.size(), size);
    EXPECT_TRUE(uploaded == source) << "the uploaded file differs from the source";
}

TEST(TrivialFTPWithRealServer, UploadsFilesWholeInBlocksOf1500)
{
    SKIP_WITHOUT_TFTP_SERVER();
    TftpServer server;
    for (const std::size_t size : {0u, 512u, 1500u, 3000u, 3001u, 1024u * 1024u}) {
        SCOPED_TRACE(size);
        ExpectUploadedWhole(server, size, 1504);
    }
}

TEST(TrivialFTPWithRealServer, UploadsMoreThan65535BlocksOf512WhenTheOptionIsRefused)
{
    SKIP_WITHOUT_TFTP_SERVER();
    TftpServer::Options options;
    options.arguments = {"--refuse", "blksize"};
    TftpServer server(options);
    // Block numbers run 1 ... 65535, 0, 1, 2: the server must see them wrap.
    ExpectUploadedWhole(server, (65536u + 2u) * 512u + 100u, 516);
}

TEST(TrivialFTPWithRealServer, UploadsToARouterOnPort69BetweenTestNamespaces)
{
    SKIP_WITHOUT_NAMESPACES();
    SKIP_WITHOUT_TFTP_SERVER();
    Testbed testbed;
    TftpServer::Options options;
    options.netns = testbed.RouterNamespace();
    options.address = Testbed::RouterAddress;
    options.port = 69;
    TftpServer router(options);
    NetnsScope pc(testbed.PcNamespace());
    ExpectUploadedWhole(router, 100000, 1504);
}

} // namespace

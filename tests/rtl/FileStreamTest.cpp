#include "FileStream.h"
#include "StreamErrors.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

namespace {

class FileStreamTest : public testing::Test {
protected:
    FileStreamTest()
    {
        path_ = (std::filesystem::temp_directory_path() / "stream-XXXXXX").string();
        close(mkstemp(path_.data()));
        std::ofstream(path_, std::ios::binary) << "0123456789";
    }
    ~FileStreamTest() override { std::filesystem::remove(path_); }

    std::string path_;
};

TEST_F(FileStreamTest, ReadsSeeksAndKnowsItsSize)
{
    TFileStream stream(path_);
    EXPECT_EQ(stream.Size(), 10);
    stream.SetPosition(4);
    char bytes[4] = {};
    stream.ReadBuffer(bytes, 3);
    EXPECT_EQ(std::string(bytes, 3), "456");
    EXPECT_EQ(stream.Size(), 10);
    EXPECT_EQ(stream.Position(), 7) << "Size leaves the position alone";
    EXPECT_EQ(stream.Read(bytes, 4), 3) << "a read stops at the end";
    EXPECT_THROW(stream.ReadBuffer(bytes, 1), EReadError);
}

TEST_F(FileStreamTest, CannotOpenWhatIsMissingADirectoryOrHeldByAnother)
{
    const std::string missing = path_ + ".missing";
    const std::string folder = std::filesystem::temp_directory_path().string();
    const std::string pipe = path_ + ".pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    for (const auto& name : {missing, folder, pipe}) {
        try {
            TFileStream stream(name);
            ADD_FAILURE() << "opened " << name;
        } catch (const EFOpenError& error) {
            EXPECT_EQ(error.Message(), "Cannot open file " + name);
        }
    }

    std::filesystem::remove(pipe);

    std::optional<TFileStream> holder(std::in_place, path_);
    EXPECT_THROW(TFileStream second(path_), EFOpenError) << "no sharing while the first is open";
    holder.reset();
    EXPECT_NO_THROW(TFileStream again(path_));
}

} // namespace

#include "ReadAhead.h"
#include "StreamErrors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

// The bytes 0, 1, 2, ... (mod 256) of a given length, counting the reads made of it.
class CountingStream : public TStream {
public:
    explicit CountingStream(int64_t length) : length_(length) {}

    int64_t Read(void* buffer, int64_t count) override
    {
        ++reads;
        const int64_t part = std::min(count, length_ - position_);
        auto* bytes = static_cast<uint8_t*>(buffer);
        for (int64_t i = 0; i < part; ++i)
            bytes[i] = static_cast<uint8_t>(position_ + i);
        position_ += part;
        return part;
    }

    int64_t Seek(int64_t offset, TSeekOrigin origin) override
    {
        position_ = (origin == soBeginning ? 0 : origin == soCurrent ? position_ : length_) + offset;
        return position_;
    }

    int reads = 0;

private:
    int64_t length_;
    int64_t position_ = 0;
};

TEST(ReadAhead, HandsOutTheBytesInOrderWithOneReadPerPiece)
{
    const struct {
        const char* name;
        int64_t length;
        std::size_t piece;
        std::vector<int64_t> takes;
        int reads;
    } rows[] = {
        {"blocks across piece boundaries", 1000, 256, {512, 488}, 4},
        {"ends on a piece boundary, then an empty block", 1024, 256, {512, 512, 0}, 4},
        {"one piece holds the whole source", 3000, 4096, {1500, 1500}, 1},
        {"takes smaller than a piece", 100, 64, {1, 63, 1, 35}, 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CountingStream source(row.length);
        TReadAhead reader(source, row.piece);
        std::vector<uint8_t> taken;
        for (const int64_t take : row.takes) {
            std::vector<uint8_t> block(static_cast<std::size_t>(take));
            reader.ReadBuffer(block.data(), take);
            taken.insert(taken.end(), block.begin(), block.end());
        }
        ASSERT_EQ(taken.size(), static_cast<std::size_t>(row.length));
        for (std::size_t i = 0; i < taken.size(); ++i)
            ASSERT_EQ(taken[i], static_cast<uint8_t>(i)) << "byte " << i;
        EXPECT_EQ(source.reads, row.reads);
    }
}

TEST(ReadAhead, AStreamThatEndsEarlyGivesWhatItHasThenAReadError)
{
    CountingStream source(600);
    TReadAhead reader(source, 256);
    std::vector<uint8_t> block(512);
    reader.ReadBuffer(block.data(), 512);
    EXPECT_EQ(block[511], static_cast<uint8_t>(511));
    EXPECT_THROW(reader.ReadBuffer(block.data(), 488), EReadError);
}

} // namespace

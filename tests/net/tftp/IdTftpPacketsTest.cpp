#include "IdTftpErrors.h"
#include "IdTftpPackets.h"
#include "IdTrivialFTPBase.h"
#include "StrToInt.h"
#include "TftpBytes.h"

#include <gtest/gtest.h>

#include <typeindex>
#include <typeinfo>

namespace {

TEST(TftpWord, PacksTheLowSixteenBitsHighByteFirst)
{
    const struct {
        int32_t value;
        std::array<uint8_t, 2> bytes;
    } rows[] = {
        {0, {0x00, 0x00}},     {3, {0x00, 0x03}},      {256, {0x01, 0x00}},
        {65535, {0xFF, 0xFF}}, {65536, {0x00, 0x00}}, {-1, {0xFF, 0xFF}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(PackWord(row.value), row.bytes) << row.value;
}

TEST(TftpWord, UnpacksTheFirstByteAsTheHighByte)
{
    const struct {
        std::array<uint8_t, 3> bytes;
        uint16_t value;
    } rows[] = {
        {{0x01, 0x00, 0x07}, 256},
        {{0x00, 0x01, 0xFF}, 1},
        {{0xFF, 0xFE, 0x00}, 65534},
    };
    for (const auto& row : rows)
        EXPECT_EQ(UnpackWord(row.bytes.data()), row.value);
}

TEST(TftpWriteRequest, HoldsNameModeAndBlockSizeOption)
{
    const struct {
        std::string name;
        TIdTFTPMode mode;
        int32_t blockSize;
        std::vector<uint8_t> bytes;
    } rows[] = {
        {"firmware.bin", tfOctet, 1500, Bytes({0, 2, "firmware.bin", 0, "octet", 0, "blksize", 0, "1500", 0})},
        {"firmware.bin", tfNetAscii, 1500, Bytes({0, 2, "firmware.bin", 0, "netascii", 0, "blksize", 0, "1500", 0})},
        {"", tfOctet, 512, Bytes({0, 2, 0, "octet", 0, "blksize", 0, "512", 0})},
        {std::string("a\0b", 3), tfOctet, -1, Bytes({0, 2, "a", 0, "b", 0, "octet", 0, "blksize", 0, "-1", 0})},
    };
    for (const auto& row : rows)
        EXPECT_EQ(MakeWriteRequest(row.name, row.mode, row.blockSize), row.bytes) << row.name;
    EXPECT_EQ(MakeWriteRequest("firmware.bin", tfOctet, 1500).size(), 34u);
    EXPECT_EQ(MakeWriteRequest("firmware.bin", tfNetAscii, 1500).size(), 37u);
}

TEST(TftpDataHeader, CarriesOpcodeThreeAndTheBlockNumberModulo65536)
{
    EXPECT_EQ(MakeDataHeader(1), (std::array<uint8_t, 4>{0, 3, 0, 1}));
    EXPECT_EQ(MakeDataHeader(65535), (std::array<uint8_t, 4>{0, 3, 0xFF, 0xFF}));
    EXPECT_EQ(MakeDataHeader(65536), (std::array<uint8_t, 4>{0, 3, 0, 0}));
}

TEST(TftpReading, OpcodeAndAckBlockOfShortAndLongDatagrams)
{
    EXPECT_EQ(ReadOpcode({}), 0);
    EXPECT_EQ(ReadOpcode(Bytes({4})), 0x0400); // a lone byte is the high byte
    EXPECT_EQ(ReadOpcode(Bytes({0, 4, 0, 1})), opAck);

    EXPECT_EQ(ReadAckBlock(Bytes({0, 4, 0x12, 0x34})), 0x1234);
    EXPECT_EQ(ReadAckBlock(Bytes({0, 4, 0xFF, 0xFF, "trailing"})), 65535);
    EXPECT_EQ(ReadAckBlock(Bytes({0, 4, 0x12})), std::nullopt);
}

TEST(TftpServerError, RaisesTheClassOfItsCodeWithTheServerText)
{
    const struct {
        std::vector<uint8_t> datagram;
        std::type_index raised;
        std::string message;
    } rows[] = {
        {Bytes({0, 5, 0, 0, "custom", 0}), typeid(EIdTFTPException), "custom"},
        {Bytes({0, 5, 0, 1, "File not found", 0}), typeid(EIdTFTPFileNotFound), "File not found"},
        {Bytes({0, 5, 0, 2, "x", 0}), typeid(EIdTFTPAccessViolation), "x"},
        {Bytes({0, 5, 0, 3, "Disk full", 0}), typeid(EIdTFTPAllocationExceeded), "Disk full"},
        {Bytes({0, 5, 0, 4, "x", 0}), typeid(EIdTFTPIllegalOperation), "x"},
        {Bytes({0, 5, 0, 5, "x", 0}), typeid(EIdTFTPUnknownTransferID), "x"},
        {Bytes({0, 5, 0, 6, "x", 0}), typeid(EIdTFTPFileAlreadyExists), "x"},
        {Bytes({0, 5, 0, 7, "x", 0}), typeid(EIdTFTPNoSuchUser), "x"},
        {Bytes({0, 5, 0, 8, "x", 0}), typeid(EIdTFTPOptionNegotiationFailed), "x"},
        {Bytes({0, 5, 0, 9, "x", 0}), typeid(EIdTFTPException), "x"},
        {Bytes({0, 5, 1, 0, "x", 0}), typeid(EIdTFTPException), "x"}, // code 256, not 1
        // The text ends at the first zero byte, or at the datagram's end.
        {Bytes({0, 5, 0, 1, "no terminator"}), typeid(EIdTFTPFileNotFound), "no terminator"},
        {Bytes({0, 5, 0, 1, "first", 0, "second", 0}), typeid(EIdTFTPFileNotFound), "first"},
        {Bytes({0, 5, 0, 3}), typeid(EIdTFTPAllocationExceeded), ""},
        {Bytes({0, 5, 0, 1, "\xcf\xf0\xe8", 0}), typeid(EIdTFTPFileNotFound), "\xcf\xf0\xe8"},
        // Truncated: the missing code bytes read as zero, so it still fails.
        {Bytes({0, 5, 0}), typeid(EIdTFTPException), ""},
        {Bytes({0, 5}), typeid(EIdTFTPException), ""},
    };
    for (const auto& row : rows) {
        try {
            RaiseServerError(row.datagram);
            ADD_FAILURE() << "returned normally for " << row.message;
        } catch (const EIdTFTPException& error) {
            EXPECT_EQ(std::type_index(typeid(error)), row.raised) << row.message;
            EXPECT_EQ(error.Message(), row.message);
        }
    }
}

TEST(TftpOptionAck, GrantsTheBlockSizeOfItsFirstOptionOnly)
{
    const struct {
        std::vector<uint8_t> datagram;
        std::optional<int32_t> size;
    } rows[] = {
        {Bytes({0, 6, "blksize", 0, "1024", 0}), 1024},
        {Bytes({0, 6, "BLKSIZE", 0, "1024", 0}), 1024},
        {Bytes({0, 6, "BlkSize", 0, "1500", 0, "tsize", 0, "9", 0}), 1500},
        {Bytes({0, 6, "blksize", 0, "2048", 0}), 2048}, // larger than asked: taken
        {Bytes({0, 6, "blksize", 0, "1500"}), 1500},     // no terminator
        {Bytes({0, 6, "blksize", 0, "1", 0}), 1},
        {Bytes({0, 6, "blksize", 0, "65464", 0}), 65464},
        {Bytes({0, 6, "tsize", 0, "1000", 0, "blksize", 0, "1024", 0}), std::nullopt},
        {Bytes({0, 6, "blksizes", 0, "1024", 0}), std::nullopt},
        {Bytes({0, 6}), std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ReadOptionAckBlockSize(row.datagram), row.size);
}

TEST(TftpOptionAck, RejectsValuesThatAreNoIntegerOrNoPossibleBlockSize)
{
    const struct {
        std::vector<uint8_t> datagram;
        bool conversion;
        std::string message;
    } rows[] = {
        {Bytes({0, 6, "blksize", 0}), true, "'' is not a valid integer value"},
        {Bytes({0, 6, "blksize"}), true, "'' is not a valid integer value"},
        {Bytes({0, 6, "blksize", 0, 0, "1024", 0}), true, "'' is not a valid integer value"},
        {Bytes({0, 6, "blksize", 0, "15OO", 0}), true, "'15OO' is not a valid integer value"},
        {Bytes({0, 6, "blksize", 0, "4294968320", 0}), true, "'4294968320' is not a valid integer value"},
        {Bytes({0, 6, "blksize", 0, "0", 0}), false, "Block size 0 from the server is not in the range 1 to 65464"},
        {Bytes({0, 6, "blksize", 0, "-4", 0}), false, "Block size -4 from the server is not in the range 1 to 65464"},
        {Bytes({0, 6, "blksize", 0, "65465", 0}), false,
         "Block size 65465 from the server is not in the range 1 to 65464"},
    };
    for (const auto& row : rows) {
        try {
            ReadOptionAckBlockSize(row.datagram);
            ADD_FAILURE() << "accepted " << row.message;
        } catch (const EConvertError& error) {
            EXPECT_TRUE(row.conversion) << error.Message();
            EXPECT_EQ(error.Message(), row.message);
        } catch (const EIdTFTPOptionNegotiationFailed& error) {
            EXPECT_FALSE(row.conversion) << error.Message();
            EXPECT_EQ(error.Message(), row.message);
        }
    }
}

} // namespace

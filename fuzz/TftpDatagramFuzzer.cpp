// Any datagram a TFTP server, or anyone else, may send the writing client, read by
// every reader the transfer applies to it: the opcode, the ACK's block, the ERROR
// packet and the option acknowledgement. Holds: no read outside the datagram, every
// field comes from the bytes where the packet layout puts it, RaiseServerError always
// raises the class of its code with the server's text, and an OACK yields a usable
// block size, nothing, or one of its two documented errors. Any other exception
// escapes and aborts the run.

#include "FuzzCheck.h"
#include "IdTftpErrors.h"
#include "IdTftpPackets.h"
#include "StrToInt.h"

#include <cctype>
#include <cstring>
#include <string>
#include <typeinfo>

namespace {

const std::type_info& ErrorClassOf(uint16_t code)
{
    switch (code) {
    case 1:
        return typeid(EIdTFTPFileNotFound);
    case 2:
        return typeid(EIdTFTPAccessViolation);
    case 3:
        return typeid(EIdTFTPAllocationExceeded);
    case 4:
        return typeid(EIdTFTPIllegalOperation);
    case 5:
        return typeid(EIdTFTPUnknownTransferID);
    case 6:
        return typeid(EIdTFTPFileAlreadyExists);
    case 7:
        return typeid(EIdTFTPNoSuchUser);
    case 8:
        return typeid(EIdTFTPOptionNegotiationFailed);
    default:
        return typeid(EIdTFTPException);
    }
}

// The fuzzer's own bytes, read with no help from the code under test: a zero byte
// past the end stands for the end.
uint8_t At(const uint8_t* data, std::size_t size, std::size_t offset)
{
    return offset < size ? data[offset] : 0;
}

std::string TextFrom(const uint8_t* data, std::size_t size, std::size_t offset)
{
    std::string text;
    for (std::size_t i = offset; i < size && data[i] != 0; ++i)
        text.push_back(static_cast<char>(data[i]));
    return text;
}

bool NamesBlockSize(const std::string& name)
{
    if (name.size() != 7)
        return false;
    for (std::size_t i = 0; i < 7; ++i)
        if (std::tolower(static_cast<unsigned char>(name[i])) != "blksize"[i])
            return false;
    return true;
}

void CheckServerError(std::span<const uint8_t> datagram, const uint8_t* data, std::size_t size)
{
    const uint16_t code = static_cast<uint16_t>(At(data, size, 2) << 8 | At(data, size, 3));
    const std::string text = TextFrom(data, size, 4);

    const TIdTFTPErrorPacket packet = ReadErrorPacket(datagram);
    FUZZ_REQUIRE(packet.code == code);
    FUZZ_REQUIRE(packet.text == text);
    try {
        RaiseServerError(datagram);
    } catch (const EIdTFTPException& e) {
        FUZZ_REQUIRE(typeid(e) == ErrorClassOf(code));
        FUZZ_REQUIRE(e.Message() == text);
        return;
    }
    FUZZ_REQUIRE(!"RaiseServerError returned");
}

void CheckOptionAck(std::span<const uint8_t> datagram, const uint8_t* data, std::size_t size)
{
    const bool named = NamesBlockSize(TextFrom(data, size, 2));
    try {
        const std::optional<int32_t> blockSize = ReadOptionAckBlockSize(datagram);
        FUZZ_REQUIRE(blockSize.has_value() == named);
        if (blockSize) {
            FUZZ_REQUIRE(*blockSize >= 1 && *blockSize <= MaxBlockSize);
            FUZZ_REQUIRE(*blockSize == StrToInt(TextFrom(data, size, 10)));
        }
    } catch (const EConvertError& e) {
        const std::string value = TextFrom(data, size, 10);
        FUZZ_REQUIRE(named);
        FUZZ_REQUIRE(e.Message() == "'" + value + "' is not a valid integer value");
    } catch (const EIdTFTPOptionNegotiationFailed&) {
        FUZZ_REQUIRE(named);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const auto copy = FuzzCheck::HeapCopy(data, size);
    const std::span<const uint8_t> datagram(copy.get(), size);

    FUZZ_REQUIRE(ReadOpcode(datagram) == (At(data, size, 0) << 8 | At(data, size, 1)));

    const std::optional<uint16_t> block = ReadAckBlock(datagram);
    FUZZ_REQUIRE(block.has_value() == (size >= 4));
    if (block)
        FUZZ_REQUIRE(*block == (data[2] << 8 | data[3]));

    CheckServerError(datagram, data, size);
    CheckOptionAck(datagram, data, size);
    return 0;
}

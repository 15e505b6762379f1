// Any bytes a raw ICMP socket may hand over, decoded as the reply to an echo probe.
// Holds: no read outside the datagram, and the outcome is the one its header length
// and ICMP type call for, a record or one of the two documented EIdIcmpException texts.
// Any other exception escapes and aborts the run.

#include "FuzzCheck.h"
#include "IdIcmpReply.h"

#include <string>

namespace {

constexpr uint16_t NextSequence = 7;
constexpr uint32_t TickNow = 0x12345678;

bool IsAcceptedType(uint8_t type)
{
    return type == 0 || type == 3 || type == 8 || type == 11;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const auto copy = FuzzCheck::HeapCopy(data, size);
    const IdRawHeaders::TIdReceivedDatagram datagram(copy.get(), size);

    // Read from the fuzzer's own bytes, so the expectation does not lean on the
    // readers under test.
    const std::size_t icmp = size == 0 ? 0 : static_cast<std::size_t>(data[0] & 0x0F) * 4;
    const bool tooShort = size != 0 && icmp + 8 > size;
    const uint8_t type = tooShort || size == 0 ? 0 : data[icmp];

    try {
        const TReplyStatus status = DecodeReply(datagram, NextSequence, TickNow);
        if (size == 0) {
            FUZZ_REQUIRE(status.Kind == rkTimedOut);
            FUZZ_REQUIRE(status.Sequence == NextSequence);
            FUZZ_REQUIRE(status.SourceAddress == "0.0.0.0");
            return 0;
        }
        FUZZ_REQUIRE(!tooShort && IsAcceptedType(type));
        FUZZ_REQUIRE(status.Kind == (type == 3 ? rkUnreachable : type == 11 ? rkTtlExceeded : rkEcho));
        FUZZ_REQUIRE(status.IcmpType == type);
        FUZZ_REQUIRE(status.ReceivedBytes == static_cast<int32_t>(size));
        FUZZ_REQUIRE(status.Ttl == (size > 8 ? data[8] : 0));
        FUZZ_REQUIRE(status.Sequence == (data[icmp + 6] | data[icmp + 7] << 8));
    } catch (const EIdIcmpException& e) {
        if (tooShort)
            FUZZ_REQUIRE(e.Message() == "Not enough bytes received");
        else
            FUZZ_REQUIRE(!IsAcceptedType(type) && e.Message() == "Non-echo type response received");
    }
    return 0;
}

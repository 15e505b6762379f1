#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

// What the fuzz targets share: a failed property aborts, so that libFuzzer keeps the
// input as a crash, and every decoder gets its own exactly-sized heap copy of the
// datagram, so that AddressSanitizer sees a read of even one byte past its end.
namespace FuzzCheck {

#define FUZZ_REQUIRE(condition)                                                                                        \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: property does not hold: %s\n", __FILE__, __LINE__, #condition);            \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

inline std::unique_ptr<uint8_t[]> HeapCopy(const uint8_t* data, std::size_t size)
{
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size]);
    for (std::size_t i = 0; i < size; ++i)
        copy[i] = data[i];
    return copy;
}

} // namespace FuzzCheck

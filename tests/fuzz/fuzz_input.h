// What the fuzz targets share: reading values from the fuzz bytes, and stopping on a broken promise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// The fuzz bytes as a stream of small values, read from the front. Once they are used up every
// read gives zero, so any input decodes to something.
class FuzzBytes {
public:
    FuzzBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint16_t u16()
    {
        const unsigned low = byte();
        return static_cast<std::uint16_t>(low | unsigned{byte()} << 8);
    }
    std::int32_t i32()
    {
        const std::uint32_t low = u16();
        return static_cast<std::int32_t>(low | std::uint32_t{u16()} << 16);
    }
    // A value in low..high (high - low below 65536).
    std::int32_t in(std::int32_t low, std::int32_t high)
    {
        const std::int32_t span = high - low + 1;
        return low + (span <= 256 ? byte() % span : u16() % span);
    }

    const std::uint8_t* rest() const { return data_ + at_; }
    std::size_t rest_size() const { return size_ - at_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// A fuzz finding that no sanitizer would see: says what broke and aborts, which libFuzzer reports
// as a crash with the input that caused it.
inline void require(bool holds, const char* promise)
{
    if (holds) return;
    std::fprintf(stderr, "broken: %s\n", promise);
    std::fflush(stderr);
    std::abort();
}

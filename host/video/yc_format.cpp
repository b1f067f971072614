#include "host/video/yc_format.h"

#include <cerrno>
#include <cstring>

#include "host/os/file_system.h"
#include "host/os/host_error.h"

namespace vantreo_host {

namespace {

// The file's layout is the pixels' own in memory on a little-endian machine.
#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kSameLayout = sizeof(PIXEL_YC) == kYcBytesPerPixel;
#else
constexpr bool kSameLayout = false;
#endif

void put16(unsigned char* p, std::int16_t value)
{
    const auto bits = static_cast<std::uint16_t>(value);
    p[0] = static_cast<unsigned char>(bits & 0xff);
    p[1] = static_cast<unsigned char>(bits >> 8);
}

std::int16_t get16(const unsigned char* p)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

}  // namespace

void encode_yc(const Picture& picture, std::vector<unsigned char>& bytes)
{
    bytes.resize(picture.pixels.size() * kYcBytesPerPixel);
    if (kSameLayout) {
        if (!bytes.empty()) std::memcpy(bytes.data(), picture.pixels.data(), bytes.size());
        return;
    }
    unsigned char* p = bytes.data();
    for (const PIXEL_YC& pixel : picture.pixels) {
        put16(p, pixel.y);
        put16(p + 2, pixel.cb);
        put16(p + 4, pixel.cr);
        p += kYcBytesPerPixel;
    }
}

void decode_yc(const unsigned char* bytes, Picture& picture)
{
    if (kSameLayout) {
        if (!picture.pixels.empty()) std::memcpy(picture.pixels.data(), bytes, picture.pixels.size() * kYcBytesPerPixel);
        return;
    }
    for (PIXEL_YC& pixel : picture.pixels) {
        pixel.y = get16(bytes);
        pixel.cb = get16(bytes + 2);
        pixel.cr = get16(bytes + 4);
        bytes += kYcBytesPerPixel;
    }
}

YcReader::YcReader(const std::string& name, std::int32_t w, std::int32_t h)
    : name_(name), stream_(name_), w_(w), h_(h)
{
    if (w < 1 || h < 1) throw HostError("input \"" + name_ + "\": picture size must be at least 1x1");
    const std::optional<std::int64_t> size = regular_file_size(stream_.get());
    const auto frame = static_cast<std::int64_t>(frame_bytes());
    if (size && *size % frame == 0) frame_count_ = *size / frame;
}


bool YcReader::read(Picture& picture)
{
    const std::size_t got = read_growing(stream_.get(), bytes_, frame_bytes());
    if (got != frame_bytes() && std::ferror(stream_.get()))
        throw HostError("cannot read input \"" + name_ + "\": " + std::strerror(errno ? errno : EIO));
    if (got == 0) return false;
    if (got != frame_bytes())
        throw HostError("input \"" + name_ + "\": frame " + std::to_string(frames_read_) + " is truncated (" +
                        std::to_string(got) + " of " + std::to_string(frame_bytes()) + " bytes for " +
                        std::to_string(w_) + "x" + std::to_string(h_) + ")");
    if (picture.w != w_ || picture.h != h_) picture = Picture(w_, h_);
    decode_yc(bytes_.data(), picture);
    ++frames_read_;
    return true;
}

void write_yc_frame(OutputFile& output, const Picture& picture, std::vector<unsigned char>& scratch)
{
    if (kSameLayout) {
        output.write(picture.pixels.data(), picture.pixels.size() * kYcBytesPerPixel);
        return;
    }
    encode_yc(picture, scratch);
    output.write(scratch.data(), scratch.size());
}

}  // namespace vantreo_host

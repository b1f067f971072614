// Raw host frames (".yc"): each frame w x h pixels of three little-endian signed 16-bit values
// (Y, Cb, Cr), rows packed, frames back to back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "host/os/file_system.h"
#include "host/os/output_file.h"
#include "host/video/picture.h"

namespace vantreo_host {

constexpr std::size_t kYcBytesPerPixel = 6;

class YcReader {
public:
    // `name` is used in messages; "-" reads standard input. Throws HostError when it cannot be opened.
    YcReader(const std::string& name, std::int32_t w, std::int32_t h);
    YcReader(const YcReader&) = delete;
    YcReader& operator=(const YcReader&) = delete;

    // The next frame into `picture`; false at the end of the input after a whole frame. Throws
    // HostError on a read error or a truncated frame.
    bool read(Picture& picture);

    std::int64_t frames_read() const { return frames_read_; }
    // The number of frames in a file of whole frames, else nothing.
    std::optional<std::int64_t> frame_count() const { return frame_count_; }

private:
    std::size_t frame_bytes() const { return static_cast<std::size_t>(w_) * static_cast<std::size_t>(h_) * kYcBytesPerPixel; }

    std::string name_;
    InputStream stream_;
    std::int32_t w_;
    std::int32_t h_;
    std::vector<unsigned char> bytes_;  // grows as the first frame arrives
    std::int64_t frames_read_ = 0;
    std::optional<std::int64_t> frame_count_;
};

void encode_yc(const Picture& picture, std::vector<unsigned char>& bytes);
void decode_yc(const unsigned char* bytes, Picture& picture);

// `scratch` holds the frame's bytes where they are not the pixels' own layout (big-endian machines).
void write_yc_frame(OutputFile& output, const Picture& picture, std::vector<unsigned char>& scratch);

}  // namespace vantreo_host

// The YUV4MPEG2 reader on arbitrary bytes, handed to it as a file. Whatever the bytes, the reader
// either refuses them with a HostError or gives a format within the host's limits whose header
// reads back as the same format, and frames that decode and encode again; a file of plain FRAME
// records of the right size reads to its end and is counted exactly; and the input is closed in
// every case. Anything else aborts.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/editor/plugin_host.h"
#include "host/os/host_error.h"
#include "host/video/y4m_format.h"
#include "tests/fuzz/fuzz_input.h"

using namespace vantreo_host;

namespace {

// The bytes as a file in memory, opened by name as the tool opens its input.
std::string input_file(const std::uint8_t* data, std::size_t size)
{
    static const int fd = memfd_create("y4m-input", 0);
    require(fd >= 0, "an in-memory file can be created");
    require(ftruncate(fd, 0) == 0 && pwrite(fd, data, size, 0) == static_cast<ssize_t>(size),
            "the in-memory file takes the input");
    return "/proc/self/fd/" + std::to_string(fd);
}

bool same_format(const Y4mFormat& a, const Y4mFormat& b)
{
    return a.w == b.w && a.h == b.h && a.depth == b.depth && a.full_range == b.full_range &&
           a.grid.halve_width == b.grid.halve_width && a.grid.halve_height == b.grid.halve_height &&
           a.grid.horizontal == b.grid.horizontal && a.grid.vertical == b.grid.vertical;
}

void check_format(const Y4mFormat& format)
{
    require(format.w >= 1 && format.w <= kMaxBufferSide && format.h >= 1 && format.h <= kMaxBufferSide &&
                std::int64_t{format.w} * format.h <= kMaxBufferPixels,
            "the picture size is within the host's limits");
    require(format.depth == 8 || format.depth == 9 || format.depth == 10 || format.depth == 12 ||
                format.depth == 14 || format.depth == 16,
            "the depth is one the reader supports");

    // The header written for the output reads back as the input's format at the new size, with
    // the parameters in their order.
    const std::int32_t new_w = 1 + format.h % 64;
    const std::int32_t new_h = 1 + format.w % 64;
    const std::string header = format.header(new_w, new_h);
    require(!header.empty() && header.back() == '\n', "the written header ends its line");
    const Y4mFormat again = parse_y4m_header(header.substr(0, header.size() - 1), "written header");
    Y4mFormat resized = format;
    resized.w = new_w;
    resized.h = new_h;
    require(same_format(again, resized), "the written header reads back as the same format");
    require(again.parameters.size() == format.parameters.size(), "the written header keeps every parameter");
    // The pixel aspect follows the new proportions (the parse above checked it is still N:D).
    for (std::size_t i = 0; i < format.parameters.size(); ++i)
        require(again.parameters[i][0] == format.parameters[i][0] &&
                    (format.parameters[i][0] == 'W' || format.parameters[i][0] == 'H' ||
                     format.parameters[i][0] == 'A' || again.parameters[i] == format.parameters[i]),
                "the written header keeps every parameter in its place");
    const std::string same_size = format.header(format.w, format.h);
    const Y4mFormat same = parse_y4m_header(same_size.substr(0, same_size.size() - 1), "written header");
    for (std::size_t i = 0; i < format.parameters.size(); ++i)
        require(format.parameters[i][0] != 'A' || same.parameters[i] == format.parameters[i],
                "at the input's size the pixel aspect stays as it was");
}

std::int32_t sample(const std::vector<unsigned char>& bytes, std::size_t index, bool wide)
{
    return wide ? bytes[2 * index] | bytes[2 * index + 1] << 8 : bytes[index];
}

// Decodes a frame and encodes it again: the picture has the stream's size, and down to 12 bits
// every code the depth can hold comes back as it was in the planes that are not resampled (luma
// always, chroma in 4:4:4).
void check_frame(const Y4mFormat& format, const std::vector<unsigned char>& bytes)
{
    require(bytes.size() == format.frame_bytes(), "a frame has the size its format gives");
    Picture picture;
    decode_y4m_frame(format, bytes.data(), picture);
    require(picture.w == format.w && picture.h == format.h &&
                picture.pixels.size() == static_cast<std::size_t>(format.w) * format.h,
            "the decoded picture has the stream's size");
    std::vector<unsigned char> encoded;
    encode_y4m_frame(format, picture, encoded);
    require(encoded.size() == bytes.size(), "the encoded frame has the stream's frame size");
    if (format.depth > 12) return;

    const bool wide = format.depth > 8;
    const std::int32_t max_code = (1 << format.depth) - 1;
    const std::size_t luma = static_cast<std::size_t>(format.w) * format.h;
    const bool subsampled = format.grid.halve_width || format.grid.halve_height;
    const std::size_t exact = subsampled ? luma : 3 * luma;
    for (std::size_t i = 0; i < exact; ++i) {
        const std::int32_t code = sample(bytes, i, wide);
        if (code <= max_code) require(sample(encoded, i, wide) == code, "a code value survives decoding and encoding");
    }
}

// True when the bytes after the header line are nothing but whole plain FRAME records of the
// format's frame size; `records` is their number.
bool plain_records(const std::uint8_t* data, std::size_t size, const Y4mFormat& format, std::size_t& records)
{
    const void* line_end = std::memchr(data, '\n', size);
    if (!line_end) return false;
    std::size_t at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(line_end) - data) + 1;
    const std::size_t record = format.frame_bytes() + 6;
    records = 0;
    for (; at < size; at += record, ++records)
        if (size - at < record || std::memcmp(data + at, "FRAME\n", 6) != 0) return false;
    return true;
}

// Reads the whole stream, checking what the reader gives.
void read_stream(const std::uint8_t* data, std::size_t size, const std::string& name)
{
    std::unique_ptr<Y4mReader> reader;
    try {
        reader = std::make_unique<Y4mReader>(name);
    } catch (const HostError&) {
        return;
    }
    const Y4mFormat& format = reader->format();
    check_format(format);

    // A frame larger than the whole input could only be found truncated, after allocating it.
    if (format.frame_bytes() > size) return;
    std::vector<unsigned char> bytes;
    bool ended = false;
    try {
        while (reader->read(bytes)) check_frame(format, bytes);
        ended = true;
    } catch (const HostError&) {
    }
    std::size_t records = 0;
    if (plain_records(data, size, format, records)) {
        require(ended, "a stream of whole plain FRAME records reads to its end");
        require(reader->frames_read() == static_cast<std::int64_t>(records), "every record is read as one frame");
        require(reader->frame_count() == static_cast<std::int64_t>(records), "the records are counted in advance");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string name = input_file(data, size);
    // The descriptor the reader's open takes must be free again once the reader is gone, whether
    // it refused the input or read it.
    const int next_descriptor = dup(STDERR_FILENO);
    close(next_descriptor);
    read_stream(data, size, name);
    require(fcntl(next_descriptor, F_GETFD) == -1, "the reader closes its input");
    return 0;
}

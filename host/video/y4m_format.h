// YUV4MPEG2 (".y4m") streams: a header line, then frames of planar Y, Cb, Cr, each after a
// "FRAME" line.
//
// Read: 8-bit 4:2:0 (C420jpeg, C420mpeg2, C420paldv, C420 and no C parameter, all 420jpeg unless an
// XYSCSS comment says otherwise), 4:2:2 (C422) and 4:4:4 (C444), and the same layouts at 9..16
// bits (C420p16 etc., little-endian 16-bit samples). Chroma is centred between luma samples in
// 420jpeg and the plain deep 4:2:0 layouts, and co-sited with the left luma sample horizontally in
// 420mpeg2, 420paldv and 4:2:2 (PAL-DV's line-alternating vertical siting is taken as centred).
// XCOLORRANGE=FULL marks full-range samples; otherwise they are limited range. Parameters after
// FRAME are ignored. Monochrome, alpha, 4:1:1, mixed interlacing (Im) and unknown parameters are
// refused. Interlaced 4:2:0 chroma is resampled field by field. Written: the header of the input with W and H replaced (frame rate, aspect,
// interlacing and every X comment carried over as they were), frames as plain "FRAME".
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "host/os/file_system.h"
#include "host/os/output_file.h"
#include "host/video/chroma_resampling.h"
#include "host/video/picture.h"
#include "host/video/sample_levels.h"

namespace vantreo_host {

// The longest header or FRAME line accepted.
constexpr std::size_t kMaxY4mLine = 4096;

struct Y4mFormat {
    std::int32_t w = 0;
    std::int32_t h = 0;
    int depth = 8;  // bits per sample, 8..16; above 8 each sample takes two bytes
    bool full_range = false;
    // It or Ib: each frame holds two fields, the top one in the even rows. In 4:2:0 each field has its
    // own chroma rows (the even chroma rows the top field's), resampled apart from the other's.
    bool interlaced = false;
    ChromaGrid grid;
    std::vector<std::string> parameters;  // the header's parameters in order, W and H included
    // The part of the picture the output shows (what the clip bars leave), when not all of it: the
    // pixel aspect of a resized output keeps its display aspect.
    std::optional<Size> shown;

    std::int32_t chroma_w() const { return grid.width(w); }
    std::int32_t chroma_h() const { return grid.height(h); }
    SampleLevels levels() const { return sample_levels(depth, full_range); }
    // The planes of one frame, without the FRAME line.
    std::size_t frame_bytes() const;
    // The header line, "\n" included, for frames of new_w x new_h: the pixel aspect (A) scaled so that
    // the picture shown keeps its display aspect, as a reduced fraction (0:0, unknown, stays).
    std::string header(std::int32_t new_w, std::int32_t new_h) const;
};

// Parses a header line (without its "\n"); throws HostError naming `name` and the problem.
Y4mFormat parse_y4m_header(const std::string& line, const std::string& name);

// The format written for frames that come from no stream (the demo pattern, .yc input): 8-bit
// 4:2:0 (420jpeg), limited range, 25 frames a second, progressive, square pixels.
Y4mFormat default_y4m_format(std::int32_t w, std::int32_t h);

// What converting frames takes besides the frames: the level mappings of the format and a few rows
// of scratch. Frames after the first allocate nothing (while their size stays). Keep one for each
// thread that converts: it is changed by every frame.
class Y4mConversion {
public:
    Y4mConversion() = default;
    Y4mConversion(const Y4mConversion&) = delete;
    Y4mConversion& operator=(const Y4mConversion&) = delete;

private:
    friend void decode_y4m_frame(const Y4mFormat&, const unsigned char*, Picture&, Y4mConversion&);
    friend void encode_y4m_frame(const Y4mFormat&, const Picture&, std::vector<unsigned char>&, Y4mConversion&);
    void prepare(const Y4mFormat& format, std::int32_t w);

    int depth_ = 0;
    bool full_range_ = false;
    RowLevels luma_;
    RowLevels chroma_;
    ChromaUpsampler up_[2];  // Cb, Cr
    ChromaDownsampler down_[2];
    std::vector<std::int16_t> rows_;  // Y, Cb, Cr of one pixel row
};

// The planes of one frame (format.frame_bytes() of them) into a format.w x format.h picture in
// the host's scale, chroma brought to full resolution.
void decode_y4m_frame(const Y4mFormat& format, const unsigned char* bytes, Picture& picture, Y4mConversion& conversion);
void decode_y4m_frame(const Y4mFormat& format, const unsigned char* bytes, Picture& picture);

// A picture in the host's scale to the planes of one frame of its size in `format`'s layout.
void encode_y4m_frame(const Y4mFormat& format, const Picture& picture, std::vector<unsigned char>& bytes,
                      Y4mConversion& conversion);
void encode_y4m_frame(const Y4mFormat& format, const Picture& picture, std::vector<unsigned char>& bytes);

class Y4mReader {
public:
    // Opens `name` ("-" for standard input) and reads its header; throws HostError naming it.
    explicit Y4mReader(const std::string& name);
    Y4mReader(const Y4mReader&) = delete;
    Y4mReader& operator=(const Y4mReader&) = delete;

    const Y4mFormat& format() const { return format_; }

    // The planes of the next frame; false at the end of the input after a whole frame. Throws
    // HostError on a read error, a malformed FRAME line or a truncated frame.
    bool read(std::vector<unsigned char>& bytes);

    std::int64_t frames_read() const { return frames_read_; }
    // The number of frames in a file whose frames all have plain FRAME lines, else nothing.
    std::optional<std::int64_t> frame_count() const { return frame_count_; }

private:
    // One line without its "\n"; false at the end of the input before any byte.
    bool read_line(std::string& line, const char* what);
    [[noreturn]] void read_error() const;

    std::string name_;
    InputStream stream_;
    Y4mFormat format_;
    std::int64_t frames_read_ = 0;
    std::optional<std::int64_t> frame_count_;
};

// Writes the header before the first frame; every frame must have the size of the first.
class Y4mWriter {
public:
    Y4mWriter(OutputFile& output, Y4mFormat format);

    // `original`, when given, holds the planes this picture was decoded from (an input frame the
    // filter left as it was); they are written as they are, bit for bit.
    void write(const Picture& picture, const std::vector<unsigned char>* original = nullptr);
    // A stream without frames still gets its header: at `size`, the size its frames would have had,
    // when that is known, else at the format's own.
    void finish(std::optional<Size> size = std::nullopt);

private:
    void write_header(std::int32_t w, std::int32_t h);

    OutputFile& output_;
    Y4mFormat format_;
    bool header_written_ = false;
    std::int64_t frames_ = 0;
    std::vector<unsigned char> bytes_;
    Y4mConversion conversion_;
};

}  // namespace vantreo_host

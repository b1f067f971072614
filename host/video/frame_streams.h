// Where the tool's frames come from and where the filtered frames go.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/os/output_file.h"
#include "host/video/picture.h"
#include "host/video/png_image.h"
#include "host/video/y4m_format.h"

namespace vantreo_host {

class FrameSource {
public:
    virtual ~FrameSource() = default;
    virtual std::int32_t width() const = 0;
    virtual std::int32_t height() const = 0;
    // The next frame in the host's scale; false at the end. `original` receives the frame as the
    // stream holds it, for a YUV4MPEG2 output of the same format, or is cleared.
    virtual bool next(Picture& picture, std::vector<unsigned char>& original) = 0;
    // The number of frames, when it is known before the end.
    virtual std::optional<std::int64_t> frame_count() const = 0;
    // The format a YUV4MPEG2 output takes: the input's own, else the default.
    virtual Y4mFormat y4m_format() const { return default_y4m_format(width(), height()); }
};

// The built-in moving test pattern, `frames` frames of w x h.
std::unique_ptr<FrameSource> open_demo_source(std::int32_t w, std::int32_t h, std::int32_t frames);
// Raw host frames of w x h; throws HostError naming the file.
std::unique_ptr<FrameSource> open_yc_source(const std::string& name, std::int32_t w, std::int32_t h);
// A YUV4MPEG2 stream; throws HostError naming the file and the problem with its header. With
// `progressive`, interlaced frames are taken as progressive ones (their header stays as it is).
std::unique_ptr<FrameSource> open_y4m_source(const std::string& name, bool progressive = false);

class FrameSink {
public:
    explicit FrameSink(const std::string& path) : output_(path) {}
    virtual ~FrameSink() = default;
    // `original` as FrameSource::next gave it, when the filter handed the frame back unchanged.
    virtual void write(const Picture& picture, const std::vector<unsigned char>* original) = 0;
    // The number of frames the sink takes, when it takes fewer than all.
    virtual std::optional<std::int64_t> frames_wanted() const { return std::nullopt; }
    // The size frames would have had, for an output without any that still states a size.
    virtual void set_size_without_frames(Size) {}
    // Writes what the output still lacks and closes it; throws HostError when that fails.
    virtual void finish() { output_.close(); }
    // Finishes the output and renames it into place; without it nothing appears.
    void commit()
    {
        finish();
        output_.commit();
    }

protected:
    OutputFile output_;
};

// Each sink creates its output at once (a temporary file beside it), so a path that cannot be
// written fails before any frame is filtered.
std::unique_ptr<FrameSink> make_yc_sink(const std::string& path);
// `format` is the input's (its size is replaced by the output's).
std::unique_ptr<FrameSink> make_y4m_sink(const std::string& path, const Y4mFormat& format);
// The first frame as a PNG file; committing without a frame is an error.
std::unique_ptr<FrameSink> make_png_sink(const std::string& path, ColourMatrix matrix);

// Every `every`-th output frame (0, every, 2 * every, ...) as DIRECTORY/frame-NNNNNN.png. The files
// keep temporary names until commit(), so a run that fails leaves an earlier series as it was and
// none of its own. Creates the directory if it is missing (and removes it again without a commit).
class PngSeries {
public:
    PngSeries(const std::string& directory, std::int64_t every, ColourMatrix matrix);
    ~PngSeries();
    PngSeries(const PngSeries&) = delete;
    PngSeries& operator=(const PngSeries&) = delete;

    void write(std::int64_t index, const Picture& picture);
    // Renames every file written into place.
    void commit();
    std::int64_t written() const { return static_cast<std::int64_t>(files_.size()); }

    static std::string file_name(std::int64_t index);

private:
    std::string directory_;
    std::int64_t every_;
    ColourMatrix matrix_;
    TemporaryEntry* made_directory_ = nullptr;
    std::unique_ptr<OutputFile> first_;  // frame 0's, made before any frame comes
    std::vector<std::unique_ptr<OutputFile>> files_;
};

}  // namespace vantreo_host

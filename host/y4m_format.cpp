#include "host/y4m_format.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <numeric>
#include <utility>

#include "host/file_system.h"
#include "host/host_error.h"
#include "host/plugin_host.h"
#include "platform/printable_text.h"

namespace vantreo_host {

namespace {

const char kMagic[] = "YUV4MPEG2";
const char kFrame[] = "FRAME";

bool all_digits(const std::string& text)
{
    if (text.empty()) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// A whole number 1..limit, or 0 when the text is not one.
std::int64_t positive_number(const std::string& text, std::int64_t limit)
{
    if (!all_digits(text) || text.size() > 9) return 0;
    const std::int64_t value = std::stoll(text);
    return value >= 1 && value <= limit ? value : 0;
}

// "N:D", both whole numbers (0:0 being "unknown").
bool is_ratio(const std::string& text)
{
    const std::string::size_type colon = text.find(':');
    return colon != std::string::npos && colon <= 10 && text.size() - colon - 1 <= 10 &&
           all_digits(text.substr(0, colon)) && all_digits(text.substr(colon + 1));
}

struct Layout {
    bool halve_width;
    bool halve_height;
    Siting horizontal;
    int depth;
};

// The layout a C parameter (or XYSCSS comment, lower-cased) names; false if it is none we read.
bool layout_of(const std::string& tag, Layout& layout, std::string& refusal)
{
    const std::string base = tag.substr(0, 3);
    if (tag == "420jpeg" || tag == "420") {
        layout = {true, true, Siting::kCentred, 8};
        return true;
    }
    if (tag == "420mpeg2" || tag == "420paldv") {
        layout = {true, true, Siting::kCoSited, 8};
        return true;
    }
    if (tag == "422") {
        layout = {true, false, Siting::kCoSited, 8};
        return true;
    }
    if (tag == "444") {
        layout = {false, false, Siting::kCentred, 8};
        return true;
    }
    if ((base == "420" || base == "422" || base == "444") && tag.size() > 4 && tag[3] == 'p' &&
        all_digits(tag.substr(4)) && tag.size() <= 6) {
        const int depth = std::stoi(tag.substr(4));
        if (depth == 9 || depth == 10 || depth == 12 || depth == 14 || depth == 16) {
            layout = {base != "444", base == "420", base == "422" ? Siting::kCoSited : Siting::kCentred, depth};
            return true;
        }
    }
    if (tag.compare(0, 4, "mono") == 0)
        refusal = "monochrome streams are not supported";
    else if (tag.find("alpha") != std::string::npos)
        refusal = "streams with an alpha plane are not supported";
    else if (tag == "411")
        refusal = "4:1:1 chroma is not supported";
    else
        refusal = "unknown colour space";
    return false;
}

// The pixel aspect "N:D" of a picture of `source` shown at `output`: N:D x (source.w / source.h) /
// (output.w / output.h), reduced. One too large for the header's numbers stays as it was.
std::string scaled_pixel_aspect(const std::string& ratio, Size source, Size output)
{
    const std::string::size_type colon = ratio.find(':');
    const std::int64_t n = std::stoll(ratio.substr(0, colon));
    const std::int64_t d = std::stoll(ratio.substr(colon + 1));
    if (n == 0 || d == 0) return ratio;
    // Reduced pairwise first: each product then stays within 64 bits (10-digit terms, 14-bit sides).
    const std::int64_t g1 = std::gcd(n, std::int64_t{output.w});
    const std::int64_t g2 = std::gcd(d, std::int64_t{source.w});
    const std::int64_t g3 = std::gcd(std::int64_t{source.h}, std::int64_t{output.h});
    std::int64_t num = (n / g1) * (source.w / g2) * (output.h / g3);
    std::int64_t den = (d / g2) * (source.h / g3) * (output.w / g1);
    const std::int64_t g = std::gcd(num, den);
    num /= g;
    den /= g;
    if (num > INT32_MAX || den > INT32_MAX) return ratio;
    return std::to_string(num) + ":" + std::to_string(den);
}

void put_sample(unsigned char*& p, std::int32_t value, bool wide)
{
    *p++ = static_cast<unsigned char>(value & 0xff);
    if (wide) *p++ = static_cast<unsigned char>(value >> 8);
}

std::int32_t get_sample(const unsigned char*& p, bool wide)
{
    std::int32_t value = *p++;
    if (wide) value |= std::int32_t{*p++} << 8;
    return value;
}

// Whether chroma rows belong to fields: interlaced, vertically halved, and tall enough that each
// field has a chroma row of its own.
bool field_chroma(const Y4mFormat& format) { return format.interlaced && format.grid.halve_height && format.h >= 3; }

// Field `field` (0 top, 1 bottom) of a plane: its even or odd rows.
Plane field_of(const Plane& plane, int field)
{
    Plane rows;
    rows.w = plane.w;
    rows.h = field_height(plane.h, field);
    rows.samples = field_rows(plane.samples, plane.w, plane.h, field);
    return rows;
}

void upsample_frame_chroma(const Y4mFormat& format, const Plane& chroma, Plane& full)
{
    if (!field_chroma(format)) {
        upsample_chroma(chroma, format.grid, format.w, format.h, full);
        return;
    }
    full.resize(format.w, format.h);
    Plane field_full;
    for (int f = 0; f < 2; ++f) {
        upsample_chroma(field_of(chroma, f), format.grid, format.w, field_height(format.h, f), field_full);
        weave_rows(field_full.samples, format.w, f, full.samples);
    }
}

void downsample_frame_chroma(const Y4mFormat& format, const Plane& full, Plane& chroma)
{
    if (!field_chroma(format)) {
        downsample_chroma(full, format.grid, chroma);
        return;
    }
    chroma.resize(format.chroma_w(), format.chroma_h());
    Plane field_chroma;
    for (int f = 0; f < 2; ++f) {
        downsample_chroma(field_of(full, f), format.grid, field_chroma);
        // The bottom field of some heights has one chroma row fewer than a picture of its height.
        field_chroma.samples.resize(static_cast<std::size_t>(chroma.w) * field_height(chroma.h, f));
        weave_rows(field_chroma.samples, chroma.w, f, chroma.samples);
    }
}

}  // namespace

std::size_t Y4mFormat::frame_bytes() const
{
    const std::size_t samples = static_cast<std::size_t>(w) * static_cast<std::size_t>(h) +
                                2 * static_cast<std::size_t>(chroma_w()) * static_cast<std::size_t>(chroma_h());
    return samples * (depth > 8 ? 2 : 1);
}

std::string Y4mFormat::header(std::int32_t new_w, std::int32_t new_h) const
{
    const Size source = shown.value_or(Size{w, h});
    std::string line = kMagic;
    for (const std::string& parameter : parameters) {
        line += ' ';
        if (parameter[0] == 'W')
            line += "W" + std::to_string(new_w);
        else if (parameter[0] == 'H')
            line += "H" + std::to_string(new_h);
        else if (parameter[0] == 'A')
            line += "A" + scaled_pixel_aspect(parameter.substr(1), source, {new_w, new_h});
        else
            line += parameter;
    }
    return line + "\n";
}

Y4mFormat parse_y4m_header(const std::string& line, const std::string& name)
{
    const std::string prefix = "input \"" + name + "\": ";
    if (line.compare(0, sizeof kMagic - 1, kMagic) != 0 || (line.size() > sizeof kMagic - 1 && line[sizeof kMagic - 1] != ' '))
        throw HostError(prefix + "not a YUV4MPEG2 stream (it does not start with \"YUV4MPEG2 \")");

    Y4mFormat format;
    std::string colour_space;
    std::string subsampling_comment;
    std::string seen;
    std::string::size_type at = sizeof kMagic - 1;
    while (at < line.size()) {
        const std::string::size_type end = std::min(line.find(' ', at), line.size());
        const std::string parameter = line.substr(at, end - at);
        at = end + 1;
        if (parameter.empty()) continue;
        const char tag = parameter[0];
        const std::string value = parameter.substr(1);
        const std::string problem = prefix + "header parameter \"" + printable_text(parameter) + "\": ";
        if (tag != 'X') {
            if (seen.find(tag) != std::string::npos) throw HostError(problem + "given twice");
            seen += tag;
        }
        switch (tag) {
        case 'W':
        case 'H': {
            const std::int64_t side = positive_number(value, kMaxBufferSide);
            if (side == 0)
                throw HostError(problem + "the picture " + (tag == 'W' ? "width" : "height") + " must be 1.." +
                                std::to_string(kMaxBufferSide));
            (tag == 'W' ? format.w : format.h) = static_cast<std::int32_t>(side);
            break;
        }
        case 'F':
        case 'A':
            if (!is_ratio(value))
                throw HostError(problem + "expected " + (tag == 'F' ? "a frame rate" : "a pixel aspect") +
                                " as N:D");
            break;
        case 'I':
            if (value == "m") throw HostError(problem + "mixed interlacing is not supported");
            if (value != "p" && value != "t" && value != "b" && value != "?")
                throw HostError(problem + "unknown interlacing (known: p, t, b, ?)");
            format.interlaced = value == "t" || value == "b";
            break;
        case 'C':
            colour_space = value;
            break;
        case 'X':
            if (value.compare(0, 11, "COLORRANGE=") == 0) {
                const std::string range = value.substr(11);
                if (range != "LIMITED" && range != "FULL")
                    throw HostError(problem + "unknown colour range (known: LIMITED, FULL)");
                format.full_range = range == "FULL";
            } else if (value.compare(0, 6, "YSCSS=") == 0) {
                subsampling_comment = value.substr(6);
                for (char& c : subsampling_comment) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            break;
        default:
            throw HostError(problem + "unknown parameter");
        }
        format.parameters.push_back(parameter);
    }
    if (format.w == 0 || format.h == 0)
        throw HostError(prefix + "the header gives no picture " + (format.w == 0 ? "width (W)" : "height (H)"));
    if (std::int64_t{format.w} * format.h > kMaxBufferPixels)
        throw HostError(prefix + "the picture " + std::to_string(format.w) + "x" + std::to_string(format.h) +
                        " has more than " + std::to_string(kMaxBufferPixels) + " pixels");

    // Without a C parameter the stream is 420jpeg, unless its XYSCSS comment says otherwise.
    const bool named = seen.find('C') != std::string::npos;
    const std::string tag = named ? colour_space : (subsampling_comment.empty() ? "420jpeg" : subsampling_comment);
    Layout layout{};
    std::string refusal;
    if (!layout_of(tag, layout, refusal))
        throw HostError(prefix +
                        printable_text(named ? "colour space C" + colour_space : "subsampling XYSCSS=" + subsampling_comment) +
                        ": " + refusal + " (known: 420jpeg, 420mpeg2, 420paldv, 420, 422, 444, and 420, 422, 444 with "
                                         "p9, p10, p12, p14 or p16)");
    format.depth = layout.depth;
    format.grid.halve_width = layout.halve_width;
    format.grid.halve_height = layout.halve_height;
    format.grid.horizontal = layout.horizontal;
    format.grid.vertical = Siting::kCentred;
    return format;
}

Y4mFormat default_y4m_format(std::int32_t w, std::int32_t h)
{
    return parse_y4m_header("YUV4MPEG2 W" + std::to_string(w) + " H" + std::to_string(h) + " F25:1 Ip A1:1 C420jpeg",
                            "(built in)");
}

void decode_y4m_frame(const Y4mFormat& format, const unsigned char* bytes, Picture& picture)
{
    const SampleLevels levels = format.levels();
    const bool wide = format.depth > 8;
    if (picture.w != format.w || picture.h != format.h) picture = Picture(format.w, format.h);
    for (PIXEL_YC& pixel : picture.pixels) pixel.y = luma_to_host(get_sample(bytes, wide), levels);

    Plane chroma;
    Plane full;
    chroma.resize(format.chroma_w(), format.chroma_h());
    for (int channel = 0; channel < 2; ++channel) {
        for (std::int16_t& sample : chroma.samples) sample = chroma_to_host(get_sample(bytes, wide), levels);
        upsample_frame_chroma(format, chroma, full);
        std::size_t i = 0;
        for (PIXEL_YC& pixel : picture.pixels) (channel == 0 ? pixel.cb : pixel.cr) = full.samples[i++];
    }
}

void encode_y4m_frame(const Y4mFormat& format, const Picture& picture, std::vector<unsigned char>& bytes)
{
    Y4mFormat sized = format;
    sized.w = picture.w;
    sized.h = picture.h;
    const SampleLevels levels = format.levels();
    const bool wide = format.depth > 8;
    bytes.resize(sized.frame_bytes());
    unsigned char* p = bytes.data();
    for (const PIXEL_YC& pixel : picture.pixels) put_sample(p, host_to_luma(pixel.y, levels), wide);

    Plane full;
    Plane chroma;
    full.resize(picture.w, picture.h);
    for (int channel = 0; channel < 2; ++channel) {
        std::size_t i = 0;
        for (const PIXEL_YC& pixel : picture.pixels) full.samples[i++] = channel == 0 ? pixel.cb : pixel.cr;
        downsample_frame_chroma(sized, full, chroma);
        for (std::int16_t sample : chroma.samples) put_sample(p, host_to_chroma(sample, levels), wide);
    }
}

Y4mReader::Y4mReader(const std::string& name) : name_(name), stream_(name_)
{
    // Anything else (an AVI, an MP4) is told by its first bytes, not by a missing line end.
    char magic[sizeof kMagic - 1];
    const std::size_t got = read_bytes(stream_.get(), magic, sizeof magic);
    if (got == 0 && std::ferror(stream_.get())) read_error();
    if (got == 0) throw HostError("input \"" + name_ + "\" is empty (no YUV4MPEG2 header)");
    if (got < sizeof magic || std::memcmp(magic, kMagic, sizeof magic) != 0)
        throw HostError("input \"" + name_ + "\": not a YUV4MPEG2 stream (it does not start with \"YUV4MPEG2 \")");
    std::string line;
    read_line(line, "header");
    line.insert(0, kMagic);
    format_ = parse_y4m_header(line, name_);

    // A file of plain FRAME lines has a whole number of header-and-frame records after the header.
    if (const std::optional<std::int64_t> size = regular_file_size(stream_.get())) {
        const auto record = static_cast<std::int64_t>(format_.frame_bytes() + sizeof kFrame);
        const std::int64_t rest = *size - static_cast<std::int64_t>(line.size() + 1);
        if (rest >= 0 && rest % record == 0) frame_count_ = rest / record;
    }
}


void Y4mReader::read_error() const
{
    throw HostError("cannot read input \"" + name_ + "\": " + std::strerror(errno ? errno : EIO));
}

bool Y4mReader::read_line(std::string& line, const char* what)
{
    line.clear();
    for (;;) {
        const int c = read_byte(stream_.get());
        if (c == EOF) {
            if (std::ferror(stream_.get())) read_error();
            if (line.empty()) return false;
            throw HostError("input \"" + name_ + "\": the " + what + " line is cut off by the end of the input");
        }
        if (c == '\n') return true;
        if (line.size() >= kMaxY4mLine)
            throw HostError("input \"" + name_ + "\": the " + what + " line is longer than " +
                            std::to_string(kMaxY4mLine) + " bytes");
        line += static_cast<char>(c);
    }
}

bool Y4mReader::read(std::vector<unsigned char>& bytes)
{
    const std::string frame_name = "frame " + std::to_string(frames_read_);
    std::string line;
    if (!read_line(line, (frame_name + " FRAME").c_str())) return false;
    if (line.compare(0, sizeof kFrame - 1, kFrame) != 0 || (line.size() > sizeof kFrame - 1 && line[sizeof kFrame - 1] != ' '))
        throw HostError("input \"" + name_ + "\": " + frame_name + " does not start with a FRAME line");
    const std::size_t frame_bytes = format_.frame_bytes();
    const std::size_t got = read_growing(stream_.get(), bytes, frame_bytes);
    if (got != frame_bytes) {
        if (std::ferror(stream_.get())) read_error();
        throw HostError("input \"" + name_ + "\": " + frame_name + " is truncated (" + std::to_string(got) + " of " +
                        std::to_string(frame_bytes) + " bytes for " + std::to_string(format_.w) + "x" +
                        std::to_string(format_.h) + ")");
    }
    ++frames_read_;
    return true;
}

Y4mWriter::Y4mWriter(OutputFile& output, Y4mFormat format) : output_(output), format_(std::move(format)) {}

void Y4mWriter::write_header(std::int32_t w, std::int32_t h)
{
    const std::string header = format_.header(w, h);
    output_.write(header.data(), header.size());
    format_.w = w;
    format_.h = h;
    header_written_ = true;
}

void Y4mWriter::write(const Picture& picture, const std::vector<unsigned char>* original)
{
    if (!header_written_) write_header(picture.w, picture.h);
    if (picture.w != format_.w || picture.h != format_.h)
        throw HostError("output \"" + output_.path() + "\": frame " + std::to_string(frames_) + " is " +
                        std::to_string(picture.w) + "x" + std::to_string(picture.h) + ", the stream's frames " +
                        std::to_string(format_.w) + "x" + std::to_string(format_.h));
    output_.write(kFrame, sizeof kFrame - 1);
    output_.write("\n", 1);
    if (original && original->size() == format_.frame_bytes()) {
        output_.write(original->data(), original->size());
    } else {
        encode_y4m_frame(format_, picture, bytes_);
        output_.write(bytes_.data(), bytes_.size());
    }
    ++frames_;
}

void Y4mWriter::finish()
{
    if (!header_written_) write_header(format_.w, format_.h);
}

}  // namespace vantreo_host

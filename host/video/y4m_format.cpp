#include "host/video/y4m_format.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <numeric>
#include <tuple>
#include <utility>

#include "host/os/file_system.h"
#include "host/os/host_error.h"
#include "platform/printable_text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Whether a/b < c/d (a, c >= 0; b, d > 0), compared term by term as continued fractions so that no
// product can overflow.
bool fraction_less(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d)
{
    for (;;) {
        const std::int64_t whole_a = a / b;
        const std::int64_t whole_c = c / d;
        if (whole_a != whole_c) return whole_a < whole_c;
        a -= whole_a * b;
        c -= whole_c * d;
        if (a == 0 || c == 0) return a == 0 && c != 0;
        // Of the parts left, a/b < c/d exactly when d/c < b/a.
        std::swap(a, d);
        std::swap(b, c);
    }
}

// The fraction nearest to num/den (both positive) whose terms are both at most `limit`: the last
// continued-fraction convergent that fits, or the part of the way to the next one that fits, whichever
// is nearer (the two fitting fractions either side of num/den).
std::pair<std::int64_t, std::int64_t> nearest_fraction(std::int64_t num, std::int64_t den, std::int64_t limit)
{
    if (num / den >= limit) return {limit, 1};
    if (den / num >= limit) return {1, limit};
    std::int64_t p0 = 0, q0 = 1, p1 = 1, q1 = 0;  // the convergents before the next, p1/q1 the last
    std::int64_t rest_num = num, rest_den = den;  // what is left of num/den after the terms taken
    for (;;) {
        const std::int64_t term = rest_num / rest_den;
        const std::int64_t room = std::min(p1 > 0 ? (limit - p0) / p1 : limit, q1 > 0 ? (limit - q0) / q1 : limit);
        if (term > room) {
            // The part-way fraction (p0 + room p1) / (q0 + room q1) is nearer than p1/q1 exactly when
            // rest_num/rest_den < 2 room + q0/q1.
            if (fraction_less(rest_num, rest_den, 2 * room * q1 + q0, q1)) return {p0 + room * p1, q0 + room * q1};
            return {p1, q1};
        }
        p0 = std::exchange(p1, term * p1 + p0);
        q0 = std::exchange(q1, term * q1 + q0);
        rest_num = std::exchange(rest_den, rest_num - term * rest_den);
        if (rest_den == 0) return {p1, q1};
    }
}

// The pixel aspect "N:D" of a picture of `source` shown at `output`: N:D x (source.w / source.h) /
// (output.w / output.h), reduced, when the proportions change. One too large for the header's numbers
// (32 bits, as other readers take them) becomes the nearest that fits.
std::string scaled_pixel_aspect(const std::string& ratio, Size source, Size output)
{
    const std::string::size_type colon = ratio.find(':');
    const std::int64_t n = std::stoll(ratio.substr(0, colon));
    const std::int64_t d = std::stoll(ratio.substr(colon + 1));
    // Unknown (0:0), or proportions kept: as it was.
    if (n == 0 || d == 0 || std::int64_t{source.w} * output.h == std::int64_t{source.h} * output.w) return ratio;
    // Reduced pairwise first: each product then stays within 64 bits (10-digit terms, 14-bit sides).
    const std::int64_t g1 = std::gcd(n, std::int64_t{output.w});
    const std::int64_t g2 = std::gcd(d, std::int64_t{source.w});
    const std::int64_t g3 = std::gcd(std::int64_t{source.h}, std::int64_t{output.h});
    std::int64_t num = (n / g1) * (source.w / g2) * (output.h / g3);
    std::int64_t den = (d / g2) * (source.h / g3) * (output.w / g1);
    const std::int64_t g = std::gcd(num, den);
    num /= g;
    den /= g;
    if (num > INT32_MAX || den > INT32_MAX) std::tie(num, den) = nearest_fraction(num, den, INT32_MAX);
    return std::to_string(num) + ":" + std::to_string(den);
}

// Whether chroma rows belong to fields: interlaced, vertically halved, and frames of h rows tall
// enough that each field has a chroma row of its own.
bool field_chroma(const Y4mFormat& format, std::int32_t h)
{
    return format.interlaced && format.grid.halve_height && h >= 3;
}

// Y, Cb and Cr rows of n values into n pixels.
void interleave(const std::int16_t* y, const std::int16_t* cb, const std::int16_t* cr, std::int32_t n, PIXEL_YC* out)
{
    std::int32_t x = 0;
#if defined(__SSE2__)
    // Each pixel is stored as 8 bytes whose last 2 the next pixel's store overwrites: every pixel but
    // the row's last, so nothing past the row is touched.
    unsigned char* bytes = reinterpret_cast<unsigned char*>(out);
    const __m128i zero = _mm_setzero_si128();
    for (; x + 8 < n; x += 8) {
        const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + x));
        const __m128i blue = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + x));
        const __m128i red = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + x));
        const __m128i yb_low = _mm_unpacklo_epi16(luma, blue);
        const __m128i yb_high = _mm_unpackhi_epi16(luma, blue);
        const __m128i r_low = _mm_unpacklo_epi16(red, zero);
        const __m128i r_high = _mm_unpackhi_epi16(red, zero);
        // Two pixels in each: Y, Cb, Cr, 0 and Y, Cb, Cr, 0.
        unsigned char* at = bytes + static_cast<std::size_t>(x) * sizeof(PIXEL_YC);
        const auto put = [&](__m128i pair) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(at), pair);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(at + sizeof(PIXEL_YC)), _mm_srli_si128(pair, 8));
            at += 2 * sizeof(PIXEL_YC);
        };
        put(_mm_unpacklo_epi32(yb_low, r_low));
        put(_mm_unpackhi_epi32(yb_low, r_low));
        put(_mm_unpacklo_epi32(yb_high, r_high));
        put(_mm_unpackhi_epi32(yb_high, r_high));
    }
#endif
    for (; x < n; ++x) out[x] = PIXEL_YC{y[x], cb[x], cr[x]};
}

// n pixels into Y, Cb and Cr rows.
void deinterleave(const PIXEL_YC* in, std::int32_t n, std::int16_t* y, std::int16_t* cb, std::int16_t* cr)
{
    std::int32_t x = 0;
#if defined(__SSE2__)
    // Each pixel is loaded as 8 bytes, the first 2 of the next pixel's with it: every pixel but the
    // row's last, so nothing past the row is read.
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(in);
    const auto two = [](const unsigned char* at) {
        return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at)),
                                  _mm_loadl_epi64(reinterpret_cast<const __m128i*>(at + sizeof(PIXEL_YC))));
    };
    // Four pixels' Y and Cb (Y0..Y3, Cb0..Cb3), and their Cr in the low half.
    const auto four = [](__m128i p01, __m128i p23, __m128i& yb, __m128i& r) {
        const __m128i even = _mm_unpacklo_epi16(p01, p23);  // Y0 Y2 Cb0 Cb2 Cr0 Cr2 - -
        const __m128i odd = _mm_unpackhi_epi16(p01, p23);   // Y1 Y3 Cb1 Cb3 Cr1 Cr3 - -
        yb = _mm_unpacklo_epi16(even, odd);
        r = _mm_unpackhi_epi16(even, odd);
    };
    for (; x + 8 < n; x += 8) {
        const unsigned char* at = bytes + static_cast<std::size_t>(x) * sizeof(PIXEL_YC);
        __m128i yb_low, r_low, yb_high, r_high;
        four(two(at), two(at + 2 * sizeof(PIXEL_YC)), yb_low, r_low);
        four(two(at + 4 * sizeof(PIXEL_YC)), two(at + 6 * sizeof(PIXEL_YC)), yb_high, r_high);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(y + x), _mm_unpacklo_epi64(yb_low, yb_high));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(cb + x), _mm_unpackhi_epi64(yb_low, yb_high));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(cr + x), _mm_unpacklo_epi64(r_low, r_high));
    }
#endif
    for (; x < n; ++x) {
        y[x] = in[x].y;
        cb[x] = in[x].cb;
        cr[x] = in[x].cr;
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

void Y4mConversion::prepare(const Y4mFormat& format, std::int32_t w)
{
    if (depth_ != format.depth || full_range_ != format.full_range) {
        const SampleLevels levels = format.levels();
        luma_ = RowLevels(levels, false);
        chroma_ = RowLevels(levels, true);
        depth_ = format.depth;
        full_range_ = format.full_range;
    }
    rows_.resize(3 * static_cast<std::size_t>(w));
}

void decode_y4m_frame(const Y4mFormat& format, const unsigned char* bytes, Picture& picture, Y4mConversion& conversion)
{
    const std::int32_t w = format.w;
    const std::int32_t h = format.h;
    const std::size_t cw = static_cast<std::size_t>(format.chroma_w());
    const std::size_t sample = format.depth > 8 ? 2 : 1;
    const std::size_t luma_bytes = static_cast<std::size_t>(w) * h * sample;
    const unsigned char* planes[2] = {bytes + luma_bytes, bytes + luma_bytes + cw * format.chroma_h() * sample};
    conversion.prepare(format, w);
    if (picture.w != w || picture.h != h) picture = Picture(w, h);
    std::int16_t* luma = conversion.rows_.data();

    // Interlaced 4:2:0 frames hold two pictures of half the height, rows (and chroma rows) alternating.
    const int fields = field_chroma(format, h) ? 2 : 1;
    for (int field = 0; field < fields; ++field) {
        const std::int32_t rows = fields == 2 ? field_height(h, field) : h;
        const std::int32_t chroma_rows = fields == 2 ? field_height(format.chroma_h(), field) : format.chroma_h();
        for (ChromaUpsampler& up : conversion.up_) up.start(format.grid, w, rows, chroma_rows);
        for (std::int32_t k = 0; k < rows; ++k) {
            const std::size_t y = static_cast<std::size_t>(k) * fields + field;
            conversion.luma_.to_host(bytes + y * w * sample, w, luma);
            const std::int16_t* chroma[2];
            for (int c = 0; c < 2; ++c)
                chroma[c] = conversion.up_[c].row(k, [&](std::int32_t j, std::int16_t* out) {
                    const std::size_t row = static_cast<std::size_t>(j) * fields + field;
                    conversion.chroma_.to_host(planes[c] + row * cw * sample, static_cast<std::int32_t>(cw), out);
                });
            interleave(luma, chroma[0], chroma[1], w, picture.pixels.data() + y * w);
        }
    }
}

void decode_y4m_frame(const Y4mFormat& format, const unsigned char* bytes, Picture& picture)
{
    Y4mConversion conversion;
    decode_y4m_frame(format, bytes, picture, conversion);
}

void encode_y4m_frame(const Y4mFormat& format, const Picture& picture, std::vector<unsigned char>& bytes,
                      Y4mConversion& conversion)
{
    const std::int32_t w = picture.w;
    const std::int32_t h = picture.h;
    const std::size_t cw = static_cast<std::size_t>(format.grid.width(w));
    const std::int32_t ch = format.grid.height(h);
    const std::size_t sample = format.depth > 8 ? 2 : 1;
    const std::size_t luma_bytes = static_cast<std::size_t>(w) * h * sample;
    bytes.resize(luma_bytes + 2 * cw * ch * sample);
    unsigned char* planes[2] = {bytes.data() + luma_bytes, bytes.data() + luma_bytes + cw * ch * sample};
    conversion.prepare(format, w);
    std::int16_t* channels[3] = {conversion.rows_.data(), conversion.rows_.data() + w, conversion.rows_.data() + 2 * w};

    const int fields = field_chroma(format, h) ? 2 : 1;
    for (int field = 0; field < fields; ++field) {
        const std::int32_t rows = fields == 2 ? field_height(h, field) : h;
        // The bottom field of some heights has one chroma row fewer than a picture of its height.
        const std::int32_t chroma_rows = fields == 2 ? field_height(ch, field) : ch;
        const auto put = [&](int c, std::int32_t j, const std::int16_t* values) {
            if (j >= chroma_rows) return;
            const std::size_t row = static_cast<std::size_t>(j) * fields + field;
            conversion.chroma_.to_codes(values, static_cast<std::int32_t>(cw), planes[c] + row * cw * sample);
        };
        for (ChromaDownsampler& down : conversion.down_) down.start(format.grid, w, rows);
        std::int32_t j = 0;
        for (std::int32_t k = 0; k < rows; ++k) {
            const std::size_t y = static_cast<std::size_t>(k) * fields + field;
            deinterleave(picture.pixels.data() + y * w, w, channels[0], channels[1], channels[2]);
            conversion.luma_.to_codes(channels[0], w, bytes.data() + y * w * sample);
            for (int c = 0; c < 2; ++c)
                if (const std::int16_t* values = conversion.down_[c].push(channels[1 + c], k, j)) put(c, j, values);
        }
        for (int c = 0; c < 2; ++c)
            while (const std::int16_t* values = conversion.down_[c].finish(j)) put(c, j, values);
    }
}

void encode_y4m_frame(const Y4mFormat& format, const Picture& picture, std::vector<unsigned char>& bytes)
{
    Y4mConversion conversion;
    encode_y4m_frame(format, picture, bytes, conversion);
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
        encode_y4m_frame(format_, picture, bytes_, conversion_);
        output_.write(bytes_.data(), bytes_.size());
    }
    ++frames_;
}

void Y4mWriter::finish(std::optional<Size> size)
{
    if (!header_written_) write_header(size ? size->w : format_.w, size ? size->h : format_.h);
}

}  // namespace vantreo_host

// The frame callback on records built from the fuzz bytes: one to three frames of up to 64x64
// pixels in buffers of exactly their capacity, control values mostly within their ranges, and now
// and then a record no sane host sends (a picture larger than its buffer or empty, a missing
// pointer, a control out of range). The callback must refuse those untouched; a sane record must
// come back with the promised size and pointers, the source intact, nothing written below the
// output, and the output's pixels as point sampling, the two area-averaging rules or the filter
// methods' reference give them. The filter methods are on (the registration reads the setting).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <tuple>
#include <vector>

#include "cpu/plan_rows.h"
#include "plugin/frame_entry.h"
#include "plugin/registration.h"
#include "settings/plugin_settings.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/support/area_rules.h"
#include "tests/support/environment.h"
#include "tests/support/frames.h"

namespace {

constexpr std::int32_t kMaxSide = 64;
constexpr PIXEL_YC kUntouched{kGuard, kGuard, kGuard};

// What makes a record one that no sane host sends, besides a control out of its range.
enum class Fault { none, wide, tall, empty, no_buffer, no_edit, no_temp, no_track, no_check };
constexpr int kFaultKinds = 8;

struct Step {
    Controls controls;
    std::int32_t max_w, max_h, w, h;
    Fault fault;
};

// How far above its minimum a control typically goes for these small frames: crops and sizes
// about the frame's side, few CPU workers (each is a thread started for the frame).
constexpr std::int32_t kTypicalSpan[kTrackCount] = {72, 72, 72, 72, 72, 72, 3, 256, 480, 3};

// Mostly typical values, often any value in range, now and then an end of the range or a value
// outside it.
std::int32_t control_value(FuzzBytes& in, int index)
{
    const std::int32_t low = kTrackMinimum[index];
    const std::int32_t high = registered_track_maximum()[index];
    const std::uint8_t kind = in.byte();
    if (kind < 192) return low + in.in(0, kTypicalSpan[index]);
    if (kind < 240) return in.in(low, high);
    if (kind < 248) return kind & 1 ? low : high;
    if (kind == 255) return in.i32();
    return kind & 1 ? low - 1 - in.byte() : high + 1 + in.byte();
}

// Buffer sides up to 64, most of them up to 24: the work of a frame grows with its area.
std::int32_t buffer_side(FuzzBytes& in) { return in.byte() < 192 ? in.in(1, 24) : in.in(1, kMaxSide); }

Step decode_step(FuzzBytes& in)
{
    Step s;
    s.max_w = buffer_side(in);
    s.max_h = buffer_side(in);
    s.w = in.in(1, s.max_w);
    s.h = in.in(1, s.max_h);
    for (int i = 0; i < kTrackCount; ++i) s.controls.track[i] = control_value(in, i);
    for (std::int32_t& check : s.controls.check) {
        const std::uint8_t b = in.byte();
        check = b < 224 ? b & 1 : in.i32();
    }
    s.fault = (in.byte() & 7) == 0 ? static_cast<Fault>(1 + in.byte() % kFaultKinds) : Fault::none;
    switch (s.fault) {
    case Fault::wide: s.w = s.max_w + in.in(1, 8); break;
    case Fault::tall: s.h = s.max_h + in.in(1, 8); break;
    case Fault::empty:
    case Fault::no_buffer: {
        const bool across = in.byte() & 1;
        std::int32_t& side = s.fault == Fault::empty ? (across ? s.w : s.h) : (across ? s.max_w : s.max_h);
        side = -in.in(0, 8);
        break;
    }
    default: break;
    }
    return s;
}

bool controls_in_range(const std::int32_t* track)
{
    for (int i = 0; i < kTrackCount; ++i)
        if (track[i] < kTrackMinimum[i] || track[i] > registered_track_maximum()[i]) return false;
    return true;
}

// Pixels from the content bytes (16-bit channels in the machine's order), repeated as often as
// needed and starting `offset` bytes in; a fixed pattern when there are too few.
void fill(std::vector<PIXEL_YC>& pixels, const std::uint8_t* content, std::size_t size, std::size_t offset)
{
    auto* bytes = reinterpret_cast<unsigned char*>(pixels.data());
    const std::size_t total = pixels.size() * sizeof(PIXEL_YC);
    if (size < sizeof(PIXEL_YC)) {
        for (std::size_t i = 0; i < total; ++i) bytes[i] = static_cast<unsigned char>(i * 131 + offset);
        return;
    }
    for (std::size_t at = 0, from = offset % size; at < total; from = 0) {
        const std::size_t run = std::min(total - at, size - from);
        std::memcpy(bytes + at, content + from, run);
        at += run;
    }
}

// The record's fields that belong to the host.
auto host_fields(const FILTER_PROC_INFO& info)
{
    return std::tie(info.flag, info.max_w, info.max_h, info.frame, info.frame_n, info.org_w, info.org_h, info.audiop,
                    info.audio_n, info.audio_ch, info.pixelp, info.editp, info.yc_size, info.line_size);
}

bool same_pixels(const std::vector<PIXEL_YC>& a, const std::vector<PIXEL_YC>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(PIXEL_YC)) == 0;
}

// The request's geometry: a clipped picture inside the frame, an output inside the buffer, and
// for area averaging no larger than the picture.
void check_request(const ResizeRequest& r, const Step& step)
{
    require(r.clip_left >= 0 && r.clip_top >= 0 && r.src_w >= 1 && r.src_h >= 1 && r.clip_left + r.src_w <= step.w &&
                r.clip_top + r.src_h <= step.h,
            "the clipped picture lies inside the frame");
    require(r.dst_w >= 1 && r.dst_w <= step.max_w && r.dst_h >= 1 && r.dst_h <= step.max_h && r.stride == step.max_w,
            "the output fits the buffer");
    require(r.method != ResizeMethod::area_average || (r.dst_w <= r.src_w && r.dst_h <= r.src_h),
            "area averaging never enlarges");
}

// Output position `out` of `outputs` samples source position `taken` of `sources`: the one at
// out * sources / outputs to the nearest, or the last one where that lies past it.
bool nearest(std::int32_t taken, std::int32_t out, std::int32_t sources, std::int32_t outputs)
{
    const double position = static_cast<double>(out) * sources / outputs;
    return std::abs(taken - position) <= 0.5 + 1e-3 || (taken == sources - 1 && position > taken);
}

// Every row, on the device or the CPU, is the filter methods' reference's.
void check_filter(const ResizeRequest& r, const std::vector<PIXEL_YC>& source, const std::vector<PIXEL_YC>& output)
{
    ResamplePlan plan{};
    build_plan(r, plan);
    std::vector<PIXEL_YC> want(output.size());
    filter_rows_reference(plan_row_job(plan, 0, r.dst_h, source.data() + static_cast<std::size_t>(r.clip_top) * r.stride, want.data()));
    for (std::int32_t y = 0; y < r.dst_h; ++y)
        for (std::int32_t x = 0; x < r.dst_w; ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * r.stride + x;
            require(same_pixel(output[at], want[at]), "the filter methods give the reference's pixels on every row");
        }
}

// Runs the same record over a source whose pixels name their own row and column, which shows where
// each output pixel came from; `output` must hold copies of `source` from there.
void check_point_sampling(const FILTER_DLL& table, FILTER& fp, const FILTER_PROC_INFO& record, const ResizeRequest& r,
                          const std::vector<PIXEL_YC>& source, const std::vector<PIXEL_YC>& output)
{
    constexpr std::int16_t kTag = 0x1234;
    std::vector<PIXEL_YC> named(source.size()), taken(source.size(), kUntouched);
    for (std::int32_t row = 0; row < record.max_h; ++row)
        for (std::int32_t col = 0; col < record.max_w; ++col)
            named[static_cast<std::size_t>(row) * record.max_w + col] =
                PIXEL_YC{static_cast<std::int16_t>(row), static_cast<std::int16_t>(col), kTag};
    FILTER_PROC_INFO probe = record;
    probe.ycp_edit = named.data();
    probe.ycp_temp = taken.data();
    table.func_proc(&fp, &probe);
    for (std::int32_t y = 0; y < r.dst_h; ++y)
        for (std::int32_t x = 0; x < r.dst_w; ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * r.stride + x;
            const PIXEL_YC from = taken[at];
            require(from.cr == kTag && from.y >= r.clip_top && from.y < r.clip_top + r.src_h &&
                        from.cb >= r.clip_left && from.cb < r.clip_left + r.src_w,
                    "point sampling takes pixels of the clipped picture");
            require(from.cb == taken[x].cb && from.y == taken[static_cast<std::size_t>(y) * r.stride].y,
                    "point sampling takes one source column per output column and one row per output row");
            require(nearest(from.cb - r.clip_left, x, r.src_w, r.dst_w) &&
                        nearest(from.y - r.clip_top, y, r.src_h, r.dst_h),
                    "point sampling takes the nearest source pixel");
            require(same_pixel(output[at], source[static_cast<std::size_t>(from.y) * r.stride + from.cb]),
                    "each output pixel is a copy of the source pixel it samples");
        }
}

// The device's rows (the top T. Rate 256ths of the output, to the nearest row) follow the device
// rule, the rows below the CPU rule.
void check_area_average(const ResizeRequest& r, const std::vector<PIXEL_YC>& source,
                        const std::vector<PIXEL_YC>& output)
{
    const PIXEL_YC* picture = source.data() + static_cast<std::size_t>(r.clip_top) * r.stride + r.clip_left;
    const std::int32_t device_rows = (r.dst_h * r.device_rate + 128) >> 8;
    std::vector<PIXEL_YC> device, cpu;
    if (device_rows > 0) device = device_area_rule(picture, r.stride, r.src_w, r.src_h, r.dst_w, r.dst_h);
    if (device_rows < r.dst_h) cpu = cpu_area_rule(picture, r.stride, r.src_w, r.src_h, r.dst_w, r.dst_h);
    for (std::int32_t y = 0; y < r.dst_h; ++y)
        for (std::int32_t x = 0; x < r.dst_w; ++x) {
            const PIXEL_YC& want = (y < device_rows ? device : cpu)[static_cast<std::size_t>(y) * r.dst_w + x];
            require(same_pixel(output[static_cast<std::size_t>(y) * r.stride + x], want),
                    y < device_rows ? "the device's rows follow the device rule"
                                    : "the CPU's rows follow the CPU rule");
        }
}

void run_step(const FILTER_DLL& table, const Step& step, const std::uint8_t* content, std::size_t content_size,
              std::size_t offset)
{
    const bool has_buffers = step.max_w >= 1 && step.max_h >= 1;
    const std::size_t capacity = has_buffers ? static_cast<std::size_t>(step.max_w) * step.max_h : 1;
    std::vector<PIXEL_YC> edit(capacity), temp(capacity, kUntouched);
    fill(edit, content, content_size, offset);
    const std::vector<PIXEL_YC> source = edit;
    const std::vector<PIXEL_YC> blank = temp;

    Controls controls = step.controls;
    FILTER fp = controls.filter();
    if (step.fault == Fault::no_track) fp.track = nullptr;
    if (step.fault == Fault::no_check) fp.check = nullptr;
    FILTER_PROC_INFO info{};
    info.ycp_edit = step.fault == Fault::no_edit ? nullptr : edit.data();
    info.ycp_temp = step.fault == Fault::no_temp ? nullptr : temp.data();
    info.w = step.w;
    info.h = step.h;
    info.max_w = step.max_w;
    info.max_h = step.max_h;
    info.frame = 3;
    info.frame_n = 9;
    info.org_w = step.w;
    info.org_h = step.h;
    const FILTER_PROC_INFO record = info;
    const std::optional<ResizeRequest> request = resolve_request(&fp, &record, kDefaultMaxSourceSide);

    require(table.func_proc(&fp, &info) == 1, "the frame callback reports success");
    require(std::memcmp(controls.track, step.controls.track, sizeof controls.track) == 0 &&
                std::memcmp(controls.check, step.controls.check, sizeof controls.check) == 0,
            "the controls are only read");
    require(host_fields(info) == host_fields(record) &&
                std::memcmp(info.reserve, record.reserve, sizeof info.reserve) == 0,
            "the host's fields of the record are left as they were");
    require(same_pixels(edit, source), "the source picture is left as it was");

    const bool sane = step.fault == Fault::none && controls_in_range(step.controls.track);
    require(sane == request.has_value(), "exactly the records no sane host sends pass through");
    if (!sane) {
        require(info.ycp_edit == record.ycp_edit && info.ycp_temp == record.ycp_temp && info.w == record.w &&
                    info.h == record.h,
                "a record passed through keeps its pointers and size");
        require(same_pixels(temp, blank), "a record passed through gets nothing written");
        return;
    }
    const ResizeRequest& r = *request;
    check_request(r, step);
    require(info.w == r.dst_w && info.h == r.dst_h, "the record reports the output size");
    require(info.ycp_edit == temp.data() && info.ycp_temp == edit.data(), "the record's frame pointers are exchanged");

    // Below the output nothing is written; point sampling writes nothing right of it either (the
    // device's rows of area averaging come back whole).
    const bool point = r.method == ResizeMethod::point_sample;
    for (std::int32_t y = 0; y < step.max_h; ++y)
        for (std::int32_t x = y < r.dst_h ? (point ? r.dst_w : step.max_w) : 0; x < step.max_w; ++x)
            require(same_pixel(temp[static_cast<std::size_t>(y) * step.max_w + x], kUntouched),
                    "nothing is written outside the output");

    if (point)
        check_point_sampling(table, fp, record, r, source, temp);
    else if (is_filter_method(r.method))
        check_filter(r, source, temp);
    else
        check_area_average(r, source, temp);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FILTER_DLL* const table = [] {
        set_env(kExtendedMethodsVariable, "1");
        FILTER_DLL* t = filter_registration();
        require(t->func_init(nullptr) == 1, "the device starts");
        return t;
    }();
    FuzzBytes in(data, size);
    std::vector<Step> steps(1 + in.byte() % 3);
    for (Step& step : steps) step = decode_step(in);
    for (std::size_t i = 0; i < steps.size(); ++i) run_step(*table, steps[i], in.rest(), in.rest_size(), 1000 * i);
    return 0;
}

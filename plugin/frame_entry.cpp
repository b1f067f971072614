#include "plugin/frame_entry.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <utility>

#include "cpu/point_sampler.h"
#include "device/lifecycle.h"
#include "device/hybrid_frame.h"
#include "plugin/module_state.h"
#include "plugin/registration.h"

namespace {

struct OutputSize {
    std::int32_t w;
    std::int32_t h;
};

// The first preset button that is exactly 1 wins; with none, the "Width" and "Height" bars.
OutputSize requested_size(const std::int32_t* track, const std::int32_t* check)
{
    if (check[kCheck320x240] == 1) return {320, 240};
    if (check[kCheck512x384] == 1) return {512, 384};
    if (check[kCheck640x480] == 1) return {640, 480};
    return {track[kTrackWidth], track[kTrackHeight]};
}

// Within the ranges the record carries, raised maxima included.
bool controls_in_range(const std::int32_t* track)
{
    const std::int32_t* maximum = registered_track_maximum();
    for (int i = 0; i < kTrackCount; ++i)
        if (track[i] < kTrackMinimum[i] || track[i] > maximum[i]) return false;
    return true;
}

bool record_is_sane(const FILTER* fp, const FILTER_PROC_INFO* fpip)
{
    return fp && fpip && fp->track && fp->check && fpip->ycp_edit && fpip->ycp_temp && fpip->w >= 1 &&
           fpip->h >= 1 && fpip->w <= fpip->max_w && fpip->h <= fpip->max_h && controls_in_range(fp->track);
}

// Bounds on one output axis, in order: not below an eighth of the source, within the buffer, at
// least 1, and for area averaging never larger than the source. The other methods enlarge up to the
// buffer.
std::int32_t bound_axis(std::int32_t requested, std::int32_t source, std::int32_t buffer, bool area_average)
{
    std::int32_t size = std::max(requested, source >> 3);
    size = std::min(size, buffer);
    if (size <= 0) size = 1;
    if (area_average) size = std::min(size, source);
    return size;
}

}  // namespace

std::optional<ResizeRequest> resolve_request(const FILTER* fp, const FILTER_PROC_INFO* fpip,
                                             std::int32_t max_source_side)
{
    if (!record_is_sane(fp, fpip)) return std::nullopt;
    const std::int32_t* track = fp->track;
    const std::int32_t w = fpip->w;
    const std::int32_t h = fpip->h;

    // Each clip bar crops its own side; at least one column and one row of the picture remain.
    std::int32_t clip_left = track[kTrackClipLeft];
    std::int32_t clip_right = track[kTrackClipRight];
    std::int32_t clip_top = track[kTrackClipTop];
    std::int32_t clip_bottom = track[kTrackClipBottom];
    if (clip_left >= w) clip_left = w - 1;
    if (clip_right >= w - clip_left) clip_right = w - clip_left - 1;
    if (clip_top >= h) clip_top = h - 1;
    if (clip_bottom >= h - clip_top) clip_bottom = h - clip_top - 1;

    ResizeRequest request{};
    request.src_w = w - clip_right - clip_left;
    request.src_h = h - clip_bottom - clip_top;
    if (request.src_w > max_source_side || request.src_h > max_source_side) return std::nullopt;

    const OutputSize size = requested_size(track, fp->check);
    // The bar's value is the method; its range (0..1, or 0..3 with the filter methods on) was checked.
    request.method = static_cast<ResizeMethod>(track[kTrackMethod]);
    const bool area_average = request.method == ResizeMethod::area_average;
    request.dst_w = bound_axis(size.w, request.src_w, fpip->max_w, area_average);
    request.dst_h = bound_axis(size.h, request.src_h, fpip->max_h, area_average);
    request.stride = fpip->max_w;
    request.clip_left = clip_left;
    request.clip_top = clip_top;
    request.block_threads = track[kTrackBlockThreads];
    request.cpu_threads = track[kTrackCpuThreads];
    request.device_rate = track[kTrackDeviceRate];
    return request;
}

namespace {

// Whether the device can take the plan's band: chosen at start-up, or now, at the first band.
bool device_chosen(ModuleState& state)
{
    if (state.device == DeviceStart::deferred)
        state.device = start_device() ? DeviceStart::chosen : DeviceStart::failed;
    return state.device == DeviceStart::chosen;
}

// Brings the plan, and when it has device rows its device copy, in step with `request`.
void rebuild_plan(ModuleState& state, const ResizeRequest& request)
{
    build_plan(request, state.plan);
    if (request.method != ResizeMethod::point_sample && state.plan.device_rows >= 1 && device_chosen(state))
        state.mirror.rebuild(state.plan);  // a mirror that failed to build leaves its band to the CPU
    else
        state.mirror.release_device_dest();  // a band without a mirror goes to the CPU
}

// A frame that failed is left as it came; the plan matches no request, so the next frame rebuilds it.
HOST_BOOL pass_frame_through(ModuleState& state, const char* why)
{
    state.plan.request = ResizeRequest{};
    std::fprintf(stderr, "Vantreo: %s; the frame passes through unfiltered\n", why);
    return 1;
}

// Held by the frame callback that is running. The editor calls it one frame at a time; a call that
// overlapped another (another thread's, or one made from inside it) would share the plan, the mirror
// and the workers with it.
std::atomic_flag frame_running = ATOMIC_FLAG_INIT;

}  // namespace

HOST_BOOL VANTREO_CDECL func_proc(FILTER* fp, FILTER_PROC_INFO* fpip)
{
    ModuleState& state = module_state;
    if (state.start_failed) return 1;
    // An overlapping call passes its frame through untouched.
    if (frame_running.test_and_set(std::memory_order_acquire)) return 1;
    const struct FrameEnd {
        ~FrameEnd() { frame_running.clear(std::memory_order_release); }
    } frame_end{};
    // Nothing may cross into the editor: a frame that fails (out of memory while the plan is built or
    // the work is set out) passes through untouched, and the next frame builds the plan anew.
    std::optional<ResizeRequest> request;
    try {
        request = resolve_request(fp, fpip, state.settings.max_source_side);
        if (!request) return 1;
        if (*request != state.plan.request) rebuild_plan(state, *request);
        if (request->method != ResizeMethod::point_sample)
            run_hybrid_frame(state.plan, state.cpu_level, state.mirror, state.worker_group, fpip->ycp_edit,
                             fpip->ycp_temp);
        else
            point_sample_frame(state.plan, fpip->ycp_edit, fpip->ycp_temp);
    } catch (const std::exception& error) {
        return pass_frame_through(state, error.what());
    } catch (...) {
        return pass_frame_through(state, "unknown failure");
    }
    fpip->w = request->dst_w;
    fpip->h = request->dst_h;
    std::swap(fpip->ycp_edit, fpip->ycp_temp);
    return 1;
}

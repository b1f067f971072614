#include "exedit2/core_passes.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include <boost/thread/thread.hpp>

#include "cpu/point_sampler.h"
#include "device/hybrid_frame.h"
#include "exedit2/host_log.h"
#include "plan/resample_plan.h"
#include "plan/window_tables.h"

namespace {

// Device threads per block, as the first editor's plug-in starts with.
constexpr std::int32_t kBlockThreads = 32;

// Zeros in the column and the row past the picture, where the CPU's area rows by the device's rule
// read what the device reads in its source array's spare zeros.
void clear_past_edges(std::int16_t* picture, PictureSize size, std::int32_t stride)
{
    constexpr std::int32_t kChannels = channel_count(PixelLayout::rgba);
    const auto pixel = [picture, stride](std::int32_t x, std::int32_t y) {
        return picture + (static_cast<std::ptrdiff_t>(y) * stride + x) * kChannels;
    };
    for (std::int32_t y = 0; y < size.h; ++y) std::fill_n(pixel(size.w, y), kChannels, 0);
    std::fill_n(pixel(0, size.h), (size.w + 1) * kChannels, 0);
}

// The plan of one run. Area averaging's CPU rows follow the device's rule with its taps, so that the
// bytes never depend on the device's share.
void build_pass_plan(const ResizeRequest& request, ResamplePlan& plan)
{
    build_plan(request, plan);
    if (request.method == ResizeMethod::area_average && !add_device_area_taps(plan))
        throw std::logic_error("area averaging's windows do not suit the CPU's rows");
}

void run_pass(const ResizePass& pass, PictureSize from, const CoreSettings& settings, SharedDevice& device,
              std::int32_t stride, std::int16_t* src, std::int16_t* dst)
{
    ResizeRequest request{from.w, from.h, pass.size.w, pass.size.h, stride, 0, 0, pass.method, kBlockThreads,
                          settings.cpu_threads, settings.device_rate, PixelLayout::rgba};
    ResamplePlan plan;
    if (pass.method == ResizeMethod::point_sample) {
        build_plan(request, plan);
        point_sample_frame(plan, src, dst);
        return;
    }
    if (pass.method == ResizeMethod::area_average) clear_past_edges(src, from, stride);
    // Without the device, the plan has no device rows, and the executor never reaches the mirror.
    std::unique_lock<std::mutex> device_held;
    if (request.device_rate >= 1) device_held = device.try_acquire();
    if (!device_held) request.device_rate = 0;
    build_pass_plan(request, plan);
    if (device_held && !device.mirror().ready_for(plan)) device.mirror().rebuild(plan);
    boost::thread_group workers;
    run_hybrid_frame(plan, settings.cpu_level, device.mirror(), workers, src, dst, AreaRule::device);
}

}  // namespace

std::unique_lock<std::mutex> SharedDevice::try_acquire()
{
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock) return lock;
    if (start_ == DeviceStart::deferred) {
        std::string name;
        start_ = start_device(&name) ? DeviceStart::chosen : DeviceStart::failed;
        if (start_ == DeviceStart::chosen)
            log_to_host(LogLevel::info, "device rows on " + name);
        else
            log_to_host(LogLevel::warn, "no device could be started; every row runs on the CPU");
    }
    if (start_ != DeviceStart::chosen) lock.unlock();
    return lock;
}

void SharedDevice::release()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    mirror_.release();
}

PassPictures pass_pictures(PictureSize object, const ResizePasses& passes, RoomPool<std::int16_t>& room)
{
    PictureSize largest = object;
    for (std::int32_t i = 0; i < passes.count; ++i) {
        largest.w = std::max(largest.w, passes.pass[i].size.w);
        largest.h = std::max(largest.h, passes.pass[i].size.h);
    }
    // One column and one row more, for the zeros past the picture.
    const std::int32_t stride = largest.w + 1;
    const std::size_t samples =
        std::size_t{4} * static_cast<std::size_t>(stride) * (static_cast<std::size_t>(largest.h) + 1);
    RoomPool<std::int16_t>::Lease first(room, samples);
    RoomPool<std::int16_t>::Lease second(room, samples);
    std::int16_t* source = first.get();
    std::int16_t* result = second.get();
    return PassPictures{stride, std::move(first), std::move(second), source, result};
}

void run_passes(const ResizePasses& passes, PictureSize object, const CoreSettings& settings, SharedDevice& device,
                PassPictures& pictures)
{
    PictureSize from = object;
    for (std::int32_t i = 0; i < passes.count; ++i) {
        run_pass(passes.pass[i], from, settings, device, pictures.stride, pictures.source, pictures.result);
        std::swap(pictures.source, pictures.result);
        from = passes.pass[i].size;
    }
}

#include "exedit2/core_passes.h"

#include <algorithm>

#include <boost/thread/thread.hpp>

#include "cpu/point_sampler.h"
#include "device/hybrid_frame.h"
#include "exedit2/host_log.h"
#include "plan/resample_plan.h"

namespace {

// Device threads per block, as the first editor's plug-in starts with.
constexpr std::int32_t kBlockThreads = 32;

void run_pass(const ResizePass& pass, PictureSize from, const CoreSettings& settings, SharedDevice& device,
              std::int32_t stride, const std::int16_t* src, std::int16_t* dst)
{
    ResizeRequest request{from.w, from.h, pass.size.w, pass.size.h, stride, 0, 0, pass.method, kBlockThreads,
                          settings.cpu_threads, settings.device_rate, PixelLayout::rgba};
    ResamplePlan plan;
    if (pass.method == ResizeMethod::point_sample) {
        build_plan(request, plan);
        point_sample_frame(plan, src, dst);
        return;
    }
    boost::thread_group workers;
    if (request.device_rate >= 1) {
        if (const std::unique_lock<std::mutex> held = device.try_acquire()) {
            build_plan(request, plan);
            if (!device.mirror().ready_for(plan)) device.mirror().rebuild(plan);
            run_hybrid_frame(plan, settings.cpu_level, device.mirror(), workers, src, dst);
            return;
        }
    }
    request.device_rate = 0;
    build_plan(request, plan);
    DeviceMirror no_device_rows;  // never reached: the plan has none
    run_hybrid_frame(plan, settings.cpu_level, no_device_rows, workers, src, dst);
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

PassPictures pass_pictures(PictureSize object, const ResizePasses& passes)
{
    PictureSize largest = object;
    for (std::int32_t i = 0; i < passes.count; ++i) {
        largest.w = std::max(largest.w, passes.pass[i].size.w);
        largest.h = std::max(largest.h, passes.pass[i].size.h);
    }
    const std::size_t samples = std::size_t{4} * static_cast<std::size_t>(largest.w) * static_cast<std::size_t>(largest.h);
    return PassPictures{largest.w, std::vector<std::int16_t>(samples), std::vector<std::int16_t>(samples)};
}

void run_passes(const ResizePasses& passes, PictureSize object, const CoreSettings& settings, SharedDevice& device,
                PassPictures& pictures)
{
    PictureSize from = object;
    for (std::int32_t i = 0; i < passes.count; ++i) {
        run_pass(passes.pass[i], from, settings, device, pictures.stride, pictures.source.data(),
                 pictures.result.data());
        pictures.source.swap(pictures.result);
        from = passes.pass[i].size;
    }
}

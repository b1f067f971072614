#include "exedit2/video_call.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

#include "device/hybrid_frame.h"
#include "exedit2/effect_items.h"
#include "exedit2/host_log.h"
#include "exedit2/object_size.h"
#include "exedit2/straight_alpha.h"

namespace {

// Said once per load: area averaging was asked to enlarge.
std::atomic_flag area_enlarging_said = ATOMIC_FLAG_INIT;

std::int32_t cpu_threads_for(std::int32_t setting)
{
    const std::int32_t wanted = setting >= 1 ? setting : static_cast<std::int32_t>(std::thread::hardware_concurrency());
    return std::clamp(wanted, 1, kMaxCpuThreads);
}

// Runs body(first_row, row_count) over `rows` rows in up to `threads` bands at once: the first band
// on the calling thread, the others on workers joined before it returns. A band whose thread cannot
// start runs on the calling thread. For the conversions, which memory bounds more than arithmetic.
template <class Body>
void in_row_bands(std::int32_t rows, std::int32_t threads, Body body)
{
    const std::int32_t bands = std::clamp(threads, 1, rows);
    boost::thread_group workers;
    const struct JoinAll {
        boost::thread_group& group;
        ~JoinAll() { group.join_all(); }
    } join_all{workers};
    const auto band_start = [rows, bands](std::int32_t band) {
        return static_cast<std::int32_t>(std::int64_t{rows} * band / bands);
    };
    for (std::int32_t band = 1; band < bands; ++band) {
        const std::int32_t first = band_start(band), count = band_start(band + 1) - first;
        try {
            add_worker(workers, [&body, first, count] { body(first, count); });
        } catch (...) {
            body(first, count);
        }
    }
    body(0, band_start(1));
}

void resize_object(const exedit2::VideoCall& call, const EffectValues& values)
{
    const PictureSize object{call.object->width, call.object->height};
    if (object.w < 1 || object.h < 1) return;
    const PictureSize output = output_size(values, object);
    if (output == object) return;
    if (const std::optional<std::string> why = size_refusal(object, output)) {
        log_to_host(LogLevel::warn, "the object is left as it is: " + *why);
        return;
    }
    const ResizePasses passes = resize_passes(object, output, values.method);
    if (passes.area_enlarged && !area_enlarging_said.test_and_set())
        log_to_host(LogLevel::info, "Area averaging does not enlarge: a side that grows is enlarged by Bicubic");

    const std::size_t object_pixels = static_cast<std::size_t>(object.w) * static_cast<std::size_t>(object.h);
    const RoomPool<exedit2::Rgba>::Lease input(module_state.pixel_room, object_pixels);
    call.get_image(input.get());
    const SampleCoding coding = sample_coding(input.get(), object_pixels, passes.filter_method);
    PassPictures pictures = pass_pictures(object, passes, module_state.sample_room);
    const CoreSettings settings{module_state.cpu_level, cpu_threads_for(values.cpu_threads), values.device_rate};
    const std::int32_t stride = pictures.stride;
    in_row_bands(object.h, settings.cpu_threads, [&](std::int32_t first, std::int32_t count) {
        to_core_samples(input.get() + std::ptrdiff_t{first} * object.w, object.w, count, coding,
                        pictures.source + std::ptrdiff_t{first} * stride * 4, stride);
    });

    run_passes(passes, object, settings, module_state.device, pictures);

    const std::size_t output_count = static_cast<std::size_t>(output.w) * static_cast<std::size_t>(output.h);
    const RoomPool<exedit2::Rgba>::Lease output_pixels(module_state.pixel_room, output_count);
    in_row_bands(output.h, settings.cpu_threads, [&](std::int32_t first, std::int32_t count) {
        from_core_samples(pictures.source + std::ptrdiff_t{first} * stride * 4, stride, output.w, count, coding,
                          output_pixels.get() + std::ptrdiff_t{first} * output.w);
    });
    call.set_image(output_pixels.get(), output.w, output.h);
}

// Out of memory, the message itself may fail: then the host hears nothing rather than ending.
void log_failure(const char* what) noexcept
{
    try {
        log_to_host(LogLevel::error, std::string("resizing failed (") + what + "); the object is left as it is");
    } catch (...) {
    }
}

}  // namespace

bool video_call(exedit2::VideoCall* call) noexcept
{
    try {
        if (call && call->object && call->get_image && call->set_image) resize_object(*call, read_effect_values());
    } catch (const std::exception& error) {
        log_failure(error.what());
    } catch (...) {
        log_failure("unknown failure");
    }
    return true;
}

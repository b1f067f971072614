#include "exedit2/video_call.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

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
    to_core_samples(input.get(), object.w, object.h, coding, pictures.source, pictures.stride);

    const CoreSettings settings{module_state.cpu_level, cpu_threads_for(values.cpu_threads), values.device_rate};
    run_passes(passes, object, settings, module_state.device, pictures);

    const RoomPool<exedit2::Rgba>::Lease output_pixels(module_state.pixel_room,
                                                      static_cast<std::size_t>(output.w) * static_cast<std::size_t>(output.h));
    from_core_samples(pictures.source, pictures.stride, output.w, output.h, coding, output_pixels.get());
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

#include "exedit2/object_size.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// A side of at least 1, rounded to nearest; one past 32 bits stops there, to be refused.
std::int32_t side(double exact)
{
    constexpr double kLargest = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::clamp(std::round(exact), 1.0, kLargest));
}

bool grows(PictureSize from, PictureSize to) { return to.w > from.w || to.h > from.h; }

// The next size of a filter method's run: each reducing side to no less than an eighth.
PictureSize filter_step(PictureSize from, PictureSize to)
{
    const auto next = [](std::int32_t current, std::int32_t wanted) {
        return wanted >= current ? wanted : std::max(wanted, (current + 7) / 8);
    };
    return {next(from.w, to.w), next(from.h, to.h)};
}

void add_filter_passes(ResizePasses& passes, PictureSize from, PictureSize to, ResizeMethod method)
{
    while (!(from == to)) {
        from = filter_step(from, to);
        passes.pass[passes.count++] = {method, from};
    }
}

}  // namespace

PictureSize output_size(const EffectValues& values, PictureSize object)
{
    if (values.size_by == SizeBy::scale) {
        const double factor = values.scale_percent / 100;
        return {side(object.w * factor), side(object.h * factor)};
    }
    if (values.width >= 1 && values.height >= 1) return {values.width, values.height};
    if (values.width >= 1) return {values.width, side(static_cast<double>(values.width) * object.h / object.w)};
    if (values.height >= 1) return {side(static_cast<double>(values.height) * object.w / object.h), values.height};
    return object;
}

std::optional<std::string> size_refusal(PictureSize object, PictureSize output)
{
    const auto text = [](PictureSize s) { return std::to_string(s.w) + "x" + std::to_string(s.h); };
    if (std::int64_t{object.w} * object.h > kMaxObjectPixels)
        return "the object, " + text(object) + ", has more than " + std::to_string(kMaxObjectPixels) + " pixels";
    if (output.w > kMaxOutputSide || output.h > kMaxOutputSide)
        return text(output) + " has a side above " + std::to_string(kMaxOutputSide) + " pixels";
    if (std::int64_t{output.w} * output.h > kMaxObjectPixels)
        return text(output) + " has more than " + std::to_string(kMaxObjectPixels) + " pixels";
    return std::nullopt;
}

ResizePasses resize_passes(PictureSize object, PictureSize output, EffectMethod method)
{
    ResizePasses passes{};
    switch (method) {
    case EffectMethod::point:
        passes.pass[passes.count++] = {ResizeMethod::point_sample, output};
        break;
    case EffectMethod::bicubic:
        add_filter_passes(passes, object, output, ResizeMethod::bicubic);
        break;
    case EffectMethod::lanczos3:
        add_filter_passes(passes, object, output, ResizeMethod::lanczos3);
        break;
    case EffectMethod::automatic:
        if (grows(object, output))
            add_filter_passes(passes, object, output, ResizeMethod::bicubic);
        else
            passes.pass[passes.count++] = {ResizeMethod::area_average, output};
        break;
    case EffectMethod::area: {
        // The sides that do not grow are averaged first, on the smaller picture.
        const PictureSize averaged{std::min(object.w, output.w), std::min(object.h, output.h)};
        if (!(averaged == object)) passes.pass[passes.count++] = {ResizeMethod::area_average, averaged};
        passes.area_enlarged = grows(object, output);
        if (passes.area_enlarged) add_filter_passes(passes, averaged, output, ResizeMethod::bicubic);
        break;
    }
    }
    for (std::int32_t i = 0; i < passes.count; ++i)
        passes.filter_method = passes.filter_method || is_filter_method(passes.pass[i].method);
    return passes;
}

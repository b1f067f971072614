#include "host/editor/frame_filter.h"

#include <algorithm>

#include "host/os/host_error.h"

namespace vantreo_host {

namespace {

Picture field_picture(const Picture& frame, int field)
{
    Picture picture;
    picture.w = frame.w;
    picture.h = field_height(frame.h, field);
    picture.pixels = field_rows(frame.pixels, frame.w, frame.h, field);
    return picture;
}

Picture weave(const Picture& top, const Picture& bottom)
{
    if (top.w != bottom.w || (top.h != bottom.h && top.h != bottom.h + 1))
        throw HostError("the filter returned fields of " + std::to_string(top.w) + "x" + std::to_string(top.h) +
                        " and " + std::to_string(bottom.w) + "x" + std::to_string(bottom.h) +
                        ", which do not weave into one frame");
    Picture frame(top.w, top.h + bottom.h);
    weave_rows(top.pixels, top.w, 0, frame.pixels);
    weave_rows(bottom.pixels, bottom.w, 1, frame.pixels);
    return frame;
}

}  // namespace

FrameFilter::FrameFilter(PluginHost& host, bool fields, std::int32_t source_limit)
    : host_(host),
      fields_(fields),
      asked_(asked_size(host)),
      clips_(read_clips(host)),
      sizes_fields_(host.has_check(kOtherLabel) && host.has_track(kWidthLabel) && host.has_track(kHeightLabel)),
      source_limit_(source_limit)
{
    if (fields_ && clips_.top % 2 != 0)
        throw HostError("interlaced frames are resized field by field, and an odd \"" + std::string(kClipTopLabel) +
                        "\" (" + std::to_string(clips_.top) +
                        ") would swap the fields' rows; give an even one, or --progressive to resize whole frames");
}

bool FrameFilter::through_filter(Picture& picture, Picture& output, std::int32_t index, std::int32_t count)
{
    const std::optional<Size> asked = asked_size(host_);
    const SizeCall call{asked.value_or(picture.size()), picture.size(),
                        clipped_size(read_clips(host_), picture.size()), host_.buffer_size(), area_averaging(host_),
                        source_limit_};
    const bool lent = host_.process_lending(picture, output, index, count);
    if (asked) rules_ |= size_rules(call, output.size());
    return lent;
}

void FrameFilter::set_field_controls(int field, std::int32_t frame_h)
{
    // A field holds field_height(n, field) of any first n rows of the frame.
    if (host_.has_track(kClipTopLabel)) host_.set_track(kClipTopLabel, field_height(clips_.top, field));
    if (host_.has_track(kClipBottomLabel)) {
        const std::int32_t bottom = std::min(clips_.bottom, frame_h);
        host_.set_track(kClipBottomLabel, field_height(frame_h, field) - field_height(frame_h - bottom, field));
    }
    if (asked_ && sizes_fields_) {
        host_.select(kOtherLabel);
        host_.set_track(kWidthLabel, asked_->w);
        host_.set_track(kHeightLabel, std::max(field_height(asked_->h, field), 1));
    }
}

bool FrameFilter::process(Picture& frame, Picture& output, std::int32_t index, std::int32_t count)
{
    rules_ = 0;
    input_ = frame.size();
    bool lent = false;
    if (!fields_ || frame.h < 2) {
        lent = through_filter(frame, output, index, count);
    } else {
        set_field_controls(0, frame.h);
        Picture field = field_picture(frame, 0);
        through_filter(field, top_, index, count);
        set_field_controls(1, frame.h);
        field = field_picture(frame, 1);
        through_filter(field, bottom_, index, count);
        output = weave(top_, bottom_);
    }
    output_ = output.size();
    return lent;
}

std::string FrameFilter::size_note() const
{
    if (!asked_ || rules_ == 0) return "";
    return vantreo_host::size_note(*asked_, output_, input_, clipped_size(clips_, input_), host_.buffer_size(), rules_,
                                   source_limit_);
}

}  // namespace vantreo_host

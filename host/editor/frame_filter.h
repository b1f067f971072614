// Frames through the filter plug-in: whole, or for interlaced video field by field, with a note of
// the bounds that changed the size asked for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/editor/plugin_host.h"
#include "host/editor/size_controls.h"
#include "host/video/picture.h"

namespace vantreo_host {

class FrameFilter {
public:
    // `host` holds the user's controls. With `fields`, the top and bottom field of each frame go
    // through as pictures of their own and are woven back: the size asked for and the rows the clip
    // bars take off are shared between the fields, so no row of one field reaches the other. Throws
    // HostError when an odd "Clip U" would put the fields' rows out of step.
    // `source_limit`: the filter's source limit as far as the tool knows it, for the notes.
    FrameFilter(PluginHost& host, bool fields, std::int32_t source_limit);

    // `frame` through the filter into `output`, whose storage is reused from frame to frame. A frame
    // of the buffers' size lends its storage to the filter (PluginHost::process_lending): true when it
    // did, so that `frame` may no longer hold the frame as it came.
    bool process(Picture& frame, Picture& output, std::int32_t index, std::int32_t count);

    // Why the last frame came back at another size than the controls ask for; "" when it did not.
    std::string size_note() const;
    // The SizeRule bits behind it.
    unsigned applied_rules() const { return rules_; }

private:
    bool through_filter(Picture& picture, Picture& output, std::int32_t index, std::int32_t count);
    void set_field_controls(int field, std::int32_t frame_h);

    PluginHost& host_;
    bool fields_;
    std::optional<Size> asked_;
    Clips clips_;
    bool sizes_fields_;  // the filter has "other", "Width" and "Height" to give each field its size
    std::int32_t source_limit_;
    Size input_{0, 0};
    Size output_{0, 0};
    unsigned rules_ = 0;
    Picture top_;  // the fields as the filter hands them back
    Picture bottom_;
};

}  // namespace vantreo_host

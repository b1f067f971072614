// The stand-in for the editor: loads a filter plug-in through its GetFilterTable export, keeps the
// instance record with the current control values, and drives the callbacks the way the editor does.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "abi/filter_records.h"
#include "host/editor/dynamic_library.h"
#include "host/video/picture.h"

namespace vantreo_host {

struct TrackBar {
    std::string label;
    std::int32_t default_value;
    std::int32_t minimum;
    std::int32_t maximum;
};

struct CheckBox {
    std::string label;
    std::int32_t default_value;  // 0 or 1; a button's is 0
    bool button;                 // a push button, which the filter registered with a negative default
};

// The host's frame buffers: max_w x max_h pixels each, max_w being the row stride.
struct BufferSize {
    std::int32_t w = 1600;
    std::int32_t h = 1200;
};

constexpr std::int32_t kMaxControls = 64;

// A label with case, spaces and dots left out: "T. Rate" and "t.rate" both give "trate".
std::string label_key(const std::string& label);

// The one of `labels` that `wanted` names: the label equal to it, else the one equal to it when case,
// spaces and dots are ignored. Nothing when none matches; throws HostError listing the candidates
// when several do.
std::optional<std::size_t> match_label(const std::vector<std::string>& labels, const std::string& wanted);

class PluginHost {
public:
    // Loads the plug-in and checks its registration record; throws HostError naming the file and the
    // problem. Controls start at their defaults.
    explicit PluginHost(const std::string& plugin_path, BufferSize buffer = {});
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    const std::string& plugin_path() const { return path_; }
    std::string filter_name() const;
    std::vector<TrackBar> track_bars() const;
    std::vector<CheckBox> check_boxes() const;
    bool check_boxes_are_radio_group() const;
    std::string information() const;  // "" when the record carries none
    std::int32_t flag() const { return instance_.flag; }
    BufferSize buffer_size() const { return buffer_; }
    // The frame buffers of the frames to come; throws HostError for a size outside the bounds.
    void set_buffer_size(BufferSize buffer);

    // Whether a control's label matches `label` (see match_label).
    bool has_track(const std::string& label) const;
    bool has_check(const std::string& label) const;

    // Current control values, by label (see match_label); throw HostError for an unknown label.
    std::int32_t track(const std::string& label) const;
    std::int32_t check(const std::string& label) const;

    // Throws HostError naming the label and its range, or listing the labels there are.
    void set_track(const std::string& label, std::int32_t value);
    // Turns the check box on; in a radio group every other one goes off. Throws HostError for a button.
    void select(const std::string& label);

    // The record the callbacks receive.
    const FILTER& instance() const { return instance_; }

    // Calls the plug-in's init callback, if it has one.
    void init();

    // One frame through the frame callback: `input` goes into the edit buffer and the picture the
    // callback leaves (its size, in whichever buffer ycp_edit then names) comes back. Throws
    // HostError when the input does not fit the buffers or the callback reports failure or hands
    // back something outside the buffers.
    Picture process(const Picture& input, std::int32_t frame = 0, std::int32_t frame_n = 0);
    // The same into `output`, whose storage is reused.
    void process(const Picture& input, Picture& output, std::int32_t frame = 0, std::int32_t frame_n = 0);
    // The same, but when `input` has the buffers' very size its storage serves as the edit buffer for
    // the call instead of a copy of it. The callback may then have written into it: true when it
    // served, so that `input` is no longer known to hold the frame as it came.
    bool process_lending(Picture& input, Picture& output, std::int32_t frame = 0, std::int32_t frame_n = 0);

    // Closes the plug-in the way the editor closes: standard output goes to standard error (or with
    // `discard_output` nowhere) and standard input reads nothing, then the exit callback runs. A
    // plug-in whose exit callback ends the process ends it; otherwise the caller goes on to its own end.
    void shutdown(bool discard_output = false);

private:
    std::size_t track_index(const std::string& label) const;
    std::size_t check_index(const std::string& label) const;
    [[noreturn]] void record_error(const std::string& problem) const;
    // Throws HostError unless `input` fits the buffers, which it allocates at their size.
    void check_fits(const Picture& input);
    // The frame callback on the w x h picture in the edit buffer; what it hands back into `output`.
    void call_filter(std::int32_t w, std::int32_t h, Picture& output, std::int32_t frame, std::int32_t frame_n);
    void validate_record(const FILTER* record) const;

    std::string path_;
    std::unique_ptr<DynamicLibrary> library_;
    FILTER instance_{};
    std::vector<std::int32_t> track_;
    std::vector<std::int32_t> check_;
    BufferSize buffer_;
    std::vector<PIXEL_YC> edit_buffer_;
    std::vector<PIXEL_YC> temp_buffer_;
};

}  // namespace vantreo_host

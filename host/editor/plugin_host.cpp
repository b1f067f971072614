#include "host/editor/plugin_host.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "host/os/console_streams.h"
#include "host/os/host_error.h"

namespace vantreo_host {

namespace {

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

std::string range_text(std::int32_t minimum, std::int32_t maximum)
{
    return std::to_string(minimum) + ".." + std::to_string(maximum);
}

std::string label_list(const std::vector<std::string>& labels)
{
    std::string list;
    for (const std::string& label : labels) list += (list.empty() ? "" : ", ") + quoted(label);
    return list.empty() ? "none" : list;
}

std::vector<std::string> labels_of(const char* const* names, std::int32_t n)
{
    return std::vector<std::string>(names, names + n);
}

// The index of the control `label` names; throws HostError listing the labels there are when none does.
std::size_t control_index(const std::vector<std::string>& labels, const std::string& label, const char* kind,
                          const char* kinds)
{
    if (const std::optional<std::size_t> index = match_label(labels, label)) return *index;
    throw HostError(std::string("no ") + kind + " " + quoted(label) + "; the " + kinds + " are " + label_list(labels));
}

// A track bar's range; a record without minimums or maximums gives every bar 0..256.
std::int32_t track_minimum(const FILTER& record, std::int32_t i) { return record.track_s ? record.track_s[i] : 0; }
std::int32_t track_maximum(const FILTER& record, std::int32_t i) { return record.track_e ? record.track_e[i] : 256; }

bool is_button(const FILTER& record, std::int32_t i) { return record.check_default[i] < 0; }

// A check box starts at its default; a button, which has no state, at 0.
std::int32_t initial_check(const FILTER& record, std::int32_t i)
{
    return is_button(record, i) ? 0 : record.check_default[i];
}

}  // namespace

std::string label_key(const std::string& label)
{
    std::string key;
    for (const char c : label)
        if (c != ' ' && c != '.') key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

std::optional<std::size_t> match_label(const std::vector<std::string>& labels, const std::string& wanted)
{
    for (std::size_t i = 0; i < labels.size(); ++i)
        if (labels[i] == wanted) return i;
    const std::string key = label_key(wanted);
    std::vector<std::string> candidates;
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < labels.size(); ++i)
        if (label_key(labels[i]) == key) {
            candidates.push_back(labels[i]);
            found = i;
        }
    if (candidates.size() > 1)
        throw HostError(quoted(wanted) + " is ambiguous: it matches " + label_list(candidates));
    return found;
}

PluginHost::PluginHost(const std::string& plugin_path, BufferSize buffer) : path_(plugin_path)
{
    set_buffer_size(buffer);
    library_ = std::make_unique<DynamicLibrary>(path_);
    void* entry = library_->symbol("GetFilterTable");
    if (!entry) throw HostError("plug-in " + quoted(path_) + " has no GetFilterTable export");
    const auto get_filter_table = reinterpret_cast<GetFilterTableFn>(entry);
    const FILTER* record = get_filter_table();
    validate_record(record);

    // The callbacks always get arrays, even for a filter without controls.
    instance_ = *record;
    track_.assign(static_cast<std::size_t>(std::max(record->track_n, 1)), 0);
    check_.assign(static_cast<std::size_t>(std::max(record->check_n, 1)), 0);
    std::copy_n(record->track_default, record->track_n, track_.begin());
    for (std::int32_t i = 0; i < record->check_n; ++i) check_[i] = initial_check(*record, i);
    instance_.track = track_.data();
    instance_.check = check_.data();
}

PluginHost::~PluginHost() = default;

void PluginHost::record_error(const std::string& problem) const
{
    throw HostError("plug-in " + quoted(path_) + ": " + problem);
}

void PluginHost::validate_record(const FILTER* record) const
{
    if (!record) record_error("GetFilterTable returned no filter record");
    if (!record->name) record_error("the filter record has no name");
    if (record->track_n < 0 || record->track_n > kMaxControls)
        record_error("track bar count " + std::to_string(record->track_n) + " is outside 0.." +
                     std::to_string(kMaxControls));
    if (record->check_n < 0 || record->check_n > kMaxControls)
        record_error("check box count " + std::to_string(record->check_n) + " is outside 0.." +
                     std::to_string(kMaxControls));
    if (record->track_n > 0 && (!record->track_name || !record->track_default))
        record_error("the track bar labels or defaults are missing");
    if (record->check_n > 0 && (!record->check_name || !record->check_default))
        record_error("the check box labels or defaults are missing");
    if (!record->func_proc) record_error("the filter record has no frame callback");
    for (std::int32_t i = 0; i < record->track_n; ++i) {
        if (!record->track_name[i]) record_error("track bar " + std::to_string(i) + " has no label");
        const std::int32_t lo = track_minimum(*record, i);
        const std::int32_t hi = track_maximum(*record, i);
        const std::int32_t value = record->track_default[i];
        if (lo > hi || value < lo || value > hi)
            record_error("track bar " + quoted(record->track_name[i]) + " has default " + std::to_string(value) +
                         " outside its range " + range_text(lo, hi));
    }
    for (std::int32_t i = 0; i < record->check_n; ++i)
        if (!record->check_name[i]) record_error("check box " + std::to_string(i) + " has no label");
}

std::string PluginHost::filter_name() const { return instance_.name; }

std::vector<TrackBar> PluginHost::track_bars() const
{
    std::vector<TrackBar> bars;
    for (std::int32_t i = 0; i < instance_.track_n; ++i)
        bars.push_back({instance_.track_name[i], instance_.track_default[i], track_minimum(instance_, i),
                        track_maximum(instance_, i)});
    return bars;
}

std::vector<CheckBox> PluginHost::check_boxes() const
{
    std::vector<CheckBox> boxes;
    for (std::int32_t i = 0; i < instance_.check_n; ++i)
        boxes.push_back({instance_.check_name[i], initial_check(instance_, i), is_button(instance_, i)});
    return boxes;
}

bool PluginHost::check_boxes_are_radio_group() const { return (instance_.flag & FILTER_FLAG_RADIO_BUTTON) != 0; }

std::string PluginHost::information() const
{
    if (!(instance_.flag & FILTER_FLAG_EX_INFORMATION) || !instance_.information) return "";
    return instance_.information;
}

std::size_t PluginHost::track_index(const std::string& label) const
{
    return control_index(labels_of(instance_.track_name, instance_.track_n), label, "track bar", "track bars");
}

std::size_t PluginHost::check_index(const std::string& label) const
{
    return control_index(labels_of(instance_.check_name, instance_.check_n), label, "check box", "check boxes");
}

bool PluginHost::has_track(const std::string& label) const
{
    return match_label(labels_of(instance_.track_name, instance_.track_n), label).has_value();
}

bool PluginHost::has_check(const std::string& label) const
{
    return match_label(labels_of(instance_.check_name, instance_.check_n), label).has_value();
}

std::int32_t PluginHost::track(const std::string& label) const { return track_[track_index(label)]; }

std::int32_t PluginHost::check(const std::string& label) const { return check_[check_index(label)]; }

void PluginHost::set_track(const std::string& label, std::int32_t value)
{
    const std::size_t i = track_index(label);
    const std::int32_t lo = track_minimum(instance_, static_cast<std::int32_t>(i));
    const std::int32_t hi = track_maximum(instance_, static_cast<std::int32_t>(i));
    if (value < lo || value > hi)
        throw HostError(quoted(label) + " must be " + range_text(lo, hi) + " (got " + std::to_string(value) + ")");
    track_[i] = value;
}

void PluginHost::select(const std::string& label)
{
    const std::size_t i = check_index(label);
    if (is_button(instance_, static_cast<std::int32_t>(i)))
        throw HostError(quoted(instance_.check_name[i]) + " is a button, which the tool cannot press");
    if (check_boxes_are_radio_group()) std::fill(check_.begin(), check_.end(), 0);
    check_[i] = 1;
}

void PluginHost::init()
{
    if (instance_.func_init && !instance_.func_init(&instance_))
        throw HostError("plug-in " + quoted(path_) + ": the init callback reported failure");
}

void PluginHost::set_buffer_size(BufferSize buffer)
{
    if (buffer.w < 1 || buffer.h < 1 || buffer.w > kMaxBufferSide || buffer.h > kMaxBufferSide ||
        std::int64_t{buffer.w} * buffer.h > kMaxBufferPixels)
        throw HostError("frame buffer " + std::to_string(buffer.w) + "x" + std::to_string(buffer.h) +
                        " is outside 1x1.." + std::to_string(kMaxBufferSide) + "x" + std::to_string(kMaxBufferSide) +
                        " (at most " + std::to_string(kMaxBufferPixels) + " pixels)");
    buffer_ = buffer;
}

Picture PluginHost::process(const Picture& input, std::int32_t frame, std::int32_t frame_n)
{
    Picture output;
    process(input, output, frame, frame_n);
    return output;
}

void PluginHost::process(const Picture& input, Picture& output, std::int32_t frame, std::int32_t frame_n)
{
    check_fits(input);
    const std::size_t stride = static_cast<std::size_t>(buffer_.w);
    for (std::int32_t r = 0; r < input.h; ++r)
        std::copy_n(input.pixels.data() + static_cast<std::size_t>(r) * input.w, input.w,
                    edit_buffer_.data() + static_cast<std::size_t>(r) * stride);
    call_filter(input.w, input.h, output, frame, frame_n);
}

bool PluginHost::process_lending(Picture& input, Picture& output, std::int32_t frame, std::int32_t frame_n)
{
    if (input.w != buffer_.w || input.h != buffer_.h) {
        process(input, output, frame, frame_n);
        return false;
    }
    check_fits(input);
    // Swapped back however the call ends: the picture keeps its storage, the host its buffer.
    struct Lent {
        std::vector<PIXEL_YC>& a;
        std::vector<PIXEL_YC>& b;
        ~Lent() { a.swap(b); }
    } lent{input.pixels, edit_buffer_};
    lent.a.swap(lent.b);
    call_filter(input.w, input.h, output, frame, frame_n);
    return true;
}

void PluginHost::check_fits(const Picture& input)
{
    if (input.w < 1 || input.h < 1 || input.w > buffer_.w || input.h > buffer_.h)
        throw HostError("picture " + std::to_string(input.w) + "x" + std::to_string(input.h) +
                        " does not fit the frame buffer " + std::to_string(buffer_.w) + "x" +
                        std::to_string(buffer_.h));
    if (input.pixels.size() != static_cast<std::size_t>(input.w) * static_cast<std::size_t>(input.h))
        throw HostError("picture " + std::to_string(input.w) + "x" + std::to_string(input.h) + " has " +
                        std::to_string(input.pixels.size()) + " pixels");
    const std::size_t capacity = static_cast<std::size_t>(buffer_.w) * static_cast<std::size_t>(buffer_.h);
    if (edit_buffer_.size() != capacity) {
        edit_buffer_.assign(capacity, PIXEL_YC{0, 0, 0});
        temp_buffer_.assign(capacity, PIXEL_YC{0, 0, 0});
    }
}

void PluginHost::call_filter(std::int32_t w, std::int32_t h, Picture& output, std::int32_t frame, std::int32_t frame_n)
{
    FILTER_PROC_INFO info{};
    info.ycp_edit = edit_buffer_.data();
    info.ycp_temp = temp_buffer_.data();
    info.w = w;
    info.h = h;
    info.max_w = buffer_.w;
    info.max_h = buffer_.h;
    info.frame = frame;
    info.frame_n = frame_n;
    info.org_w = w;
    info.org_h = h;
    info.yc_size = static_cast<std::int32_t>(sizeof(PIXEL_YC));
    info.line_size = buffer_.w * static_cast<std::int32_t>(sizeof(PIXEL_YC));

    if (!instance_.func_proc(&instance_, &info))
        throw HostError("plug-in " + quoted(path_) + ": the frame callback reported failure on frame " +
                        std::to_string(frame));
    if (info.ycp_edit != edit_buffer_.data() && info.ycp_edit != temp_buffer_.data())
        throw HostError("plug-in " + quoted(path_) + ": the frame callback left ycp_edit outside the host's frames");
    if (info.w < 1 || info.h < 1 || info.w > buffer_.w || info.h > buffer_.h)
        throw HostError("plug-in " + quoted(path_) + ": the frame callback returned a " + std::to_string(info.w) +
                        "x" + std::to_string(info.h) + " picture, outside the " + std::to_string(buffer_.w) + "x" +
                        std::to_string(buffer_.h) + " frame");

    // The output's storage is reused from frame to frame; every pixel is overwritten.
    const std::size_t stride = static_cast<std::size_t>(buffer_.w);
    output.w = info.w;
    output.h = info.h;
    output.pixels.resize(static_cast<std::size_t>(info.w) * static_cast<std::size_t>(info.h));
    for (std::int32_t r = 0; r < info.h; ++r)
        std::copy_n(info.ycp_edit + static_cast<std::size_t>(r) * stride, info.w,
                    output.pixels.data() + static_cast<std::size_t>(r) * output.w);
}

void PluginHost::shutdown(bool discard_output)
{
    detach_console_streams(discard_output);
    if (instance_.func_exit) instance_.func_exit(&instance_);
    std::fflush(nullptr);
}

}  // namespace vantreo_host

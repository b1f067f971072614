#include "host/exedit2/stand_in_editor.h"

#include <cstring>

#include "host/os/host_error.h"

namespace {

// The editor build the stand-in claims to be: the oldest the plug-in may ask for.
constexpr exedit2::Dword kHostVersion = 2003300;
// The most pixels set_image keeps: more is a plug-in fault, reported as a size without pixels.
constexpr std::int64_t kMostPixels = std::int64_t{1} << 26;

template <class Function>
Function exported(const vantreo_host::DynamicLibrary& module, const char* name, std::string& error)
{
    void* address = module.symbol(name);
    if (!address && error.empty()) error = std::string("the module does not export ") + name;
    Function entry;
    std::memcpy(&entry, &address, sizeof entry);
    return entry;
}

// The picture and the result of the video call this thread is in.
struct CallState {
    const Picture* object;
    CallResult* result;
};
thread_local CallState* current_call = nullptr;
thread_local bool running_plugin_code = false;

// The host's own code inside a call, in one of its callbacks.
class HostCallback {
public:
    HostCallback() : saved_(running_plugin_code) { running_plugin_code = false; }
    ~HostCallback() { running_plugin_code = saved_; }
    HostCallback(const HostCallback&) = delete;
    HostCallback& operator=(const HostCallback&) = delete;

private:
    bool saved_;
};

}  // namespace

std::atomic<int> StandInEditor::stray_image_calls_{0};

bool operator==(const Picture& a, const Picture& b)
{
    return a.width == b.width && a.height == b.height && a.pixels.size() == b.pixels.size() &&
           (a.pixels.empty() ||
            std::memcmp(a.pixels.data(), b.pixels.data(), a.pixels.size() * sizeof(exedit2::Rgba)) == 0);
}

std::string utf8(const exedit2::Text* text)
{
    std::string out;
    for (; text && *text; ++text) {
        std::uint32_t c = *text;
        if (c >= 0xd800 && c < 0xdc00 && text[1] >= 0xdc00 && text[1] < 0xe000)
            c = 0x10000 + ((c - 0xd800) << 10) + (*++text - 0xdc00);
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        const int tail = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        constexpr std::uint32_t lead[] = {0, 0xc0, 0xe0, 0xf0};
        out += static_cast<char>(lead[tail] | (c >> (6 * tail)));
        for (int k = tail - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3f));
    }
    return out;
}

StandInEditor::StandInEditor(const std::string& plugin_path, std::string& error)
{
    error.clear();
    try {
        module_ = std::make_unique<vantreo_host::DynamicLibrary>(plugin_path);
    } catch (const vantreo_host::HostError& failure) {
        error = failure.what();
        return;
    }
    const auto required_version = exported<exedit2::RequiredVersionFn>(*module_, "RequiredVersion", error);
    const auto initialize_logger = exported<exedit2::InitializeLoggerFn>(*module_, "InitializeLogger", error);
    const auto initialize = exported<exedit2::InitializePluginFn>(*module_, "InitializePlugin", error);
    const auto get_table = exported<exedit2::GetFilterPluginTableFn>(*module_, "GetFilterPluginTable", error);
    uninitialize_ = exported<exedit2::UninitializePluginFn>(*module_, "UninitializePlugin", error);
    if (!error.empty()) return;

    required_version_ = required_version();
    logger_.record = {&write_log<LogLevel::log>, &write_log<LogLevel::info>, &write_log<LogLevel::warn>,
                      &write_log<LogLevel::error>, &write_log<LogLevel::verbose>};
    logger_.editor = this;
    initialize_logger(&logger_.record);
    if (!initialize(kHostVersion)) {
        error = "InitializePlugin returned false";
        uninitialize_ = nullptr;
        return;
    }
    table_ = get_table();
    if (!table_) error = "GetFilterPluginTable returned null";
}

// The module is never unloaded (DynamicLibrary): its device runtime keeps singletons for the
// process's lifetime, as the editor's would, and the first editor's stand-in never unloads either.
StandInEditor::~StandInEditor()
{
    if (uninitialize_) uninitialize_();
}

void* StandInEditor::item(const std::string& name) const
{
    for (void** entry = table_->items; entry && *entry; ++entry)
        if (utf8(static_cast<const exedit2::ItemHeader*>(*entry)->name) == name) return *entry;
    return nullptr;
}

bool StandInEditor::write_items(const Settings& settings)
{
    bool all_there = true;
    const auto track = [&](const char* name, double value) {
        auto* record = static_cast<exedit2::TrackItem*>(item(name));
        if (record && utf8(record->header.type) == "track") record->value = value;
        else all_there = false;
    };
    const auto select = [&](const char* name, std::int32_t value) {
        auto* record = static_cast<exedit2::SelectItem*>(item(name));
        if (record && utf8(record->header.type) == "select") record->value = value;
        else all_there = false;
    };
    select("Size by", settings.size_by);
    track("Scale", settings.scale);
    track("Width", settings.width);
    track("Height", settings.height);
    select("Method", settings.method);
    track("T. Rate", settings.device_rate);
    track("CPU T.", settings.cpu_threads);
    return all_there;
}

CallResult StandInEditor::call(const Picture& object)
{
    CallResult result;
    const exedit2::Scene scene{1920, 1080, 30, 1, 48000};
    exedit2::Object record{};
    record.id = 1;
    record.frame_total = 1;
    record.width = object.width;
    record.height = object.height;
    record.effect_id = 1;
    exedit2::VideoCall video{};
    video.scene = &scene;
    video.object = &record;
    video.get_image = &get_image;
    video.set_image = &set_image;

    CallState state{&object, &result};
    current_call = &state;
    running_plugin_code = true;
    result.returned = table_->video(&video);
    running_plugin_code = false;
    current_call = nullptr;
    if (!result.set_image) result.image = object;
    return result;
}

CallResult StandInEditor::call(const Picture& object, const Settings& settings)
{
    if (!write_items(settings)) return CallResult{};
    return call(object);
}

bool StandInEditor::in_plugin_code() { return running_plugin_code; }

std::vector<LogLine> StandInEditor::log() const
{
    std::lock_guard<std::mutex> lock(log_mutex_);
    return log_;
}

std::size_t StandInEditor::log_size() const
{
    std::lock_guard<std::mutex> lock(log_mutex_);
    return log_.size();
}

template <LogLevel level>
void StandInEditor::write_log(exedit2::Logger* self, const exedit2::Text* message)
{
    HostCallback host;
    StandInEditor& editor = *reinterpret_cast<Logger*>(self)->editor;
    LogLine line{level, utf8(message), std::this_thread::get_id(), current_call != nullptr};
    std::lock_guard<std::mutex> lock(editor.log_mutex_);
    editor.log_.push_back(std::move(line));
}

void StandInEditor::get_image(exedit2::Rgba* buffer)
{
    HostCallback host;
    if (!current_call) {
        ++stray_image_calls_;
        return;
    }
    current_call->result->got_image = true;
    const std::vector<exedit2::Rgba>& pixels = current_call->object->pixels;
    if (!pixels.empty()) std::memcpy(buffer, pixels.data(), pixels.size() * sizeof(exedit2::Rgba));
}

void StandInEditor::set_image(exedit2::Rgba* buffer, std::int32_t width, std::int32_t height)
{
    HostCallback host;
    if (!current_call) {
        ++stray_image_calls_;
        return;
    }
    CallResult& result = *current_call->result;
    result.set_image = true;
    result.image = Picture{width, height, {}};
    const std::int64_t count = std::int64_t{width} * height;
    if (buffer && width > 0 && height > 0 && count <= kMostPixels) result.image.pixels.assign(buffer, buffer + count);
}

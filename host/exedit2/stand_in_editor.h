// The editor's side of a filter plug-in (*.auf2), played by the stand-in host: the module loaded
// through its exports, a logger that keeps every line, the items written by name, and video calls on
// pictures the host owns. Calls may come from several threads at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "abi/exedit2_records.h"
#include "host/editor/dynamic_library.h"

// An object's image: width x height straight-alpha pixels, rows packed. A picture may have a size
// and no pixels, for objects too large to hold (get_image then copies nothing).
struct Picture {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<exedit2::Rgba> pixels;

    exedit2::Rgba& at(std::int32_t y, std::int32_t x) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    const exedit2::Rgba& at(std::int32_t y, std::int32_t x) const
    {
        return pixels[static_cast<std::size_t>(y) * width + x];
    }
};
bool operator==(const Picture& a, const Picture& b);

enum class LogLevel { log, info, warn, error, verbose };

struct LogLine {
    LogLevel level;
    std::string text;  // UTF-8
    std::thread::id thread;
    bool in_video_call;  // written by a thread inside a video call
};

// The effect's settings as a project keeps them, written into the items by name before a call.
struct Settings {
    std::int32_t size_by = 0;  // 0 Scale, 1 Pixels
    double scale = 100;
    double width = 0;
    double height = 0;
    std::int32_t method = 4;  // Point, Area, Bicubic, Lanczos-3, Auto
    double device_rate = 0;
    double cpu_threads = 0;
};

struct CallResult {
    bool returned = false;
    bool got_image = false;
    bool set_image = false;
    Picture image;  // the object's image after the call
};

std::string utf8(const exedit2::Text* text);

class StandInEditor {
public:
    // Loads the module, InitializeLogger, InitializePlugin. `error` says what failed, else is empty.
    StandInEditor(const std::string& plugin_path, std::string& error);
    // UninitializePlugin; the module stays loaded (see the definition).
    ~StandInEditor();
    StandInEditor(const StandInEditor&) = delete;
    StandInEditor& operator=(const StandInEditor&) = delete;

    exedit2::Dword required_version() const { return required_version_; }
    const exedit2::FilterTable& table() const { return *table_; }
    // The item record of that name, or null.
    void* item(const std::string& name) const;

    // Writes the settings into the items; false when one of them is missing.
    bool write_items(const Settings& settings);
    // One video call on `object` from this thread, with the items as they are.
    CallResult call(const Picture& object);
    CallResult call(const Picture& object, const Settings& settings);
    // True while this thread runs the plug-in's own code in a video call: not before or after it, and
    // not inside the host's callbacks (the logger, get_image, set_image).
    static bool in_plugin_code();

    std::vector<LogLine> log() const;
    std::size_t log_size() const;
    // Image callbacks made by a thread outside any video call.
    int stray_image_calls() const { return stray_image_calls_; }

private:
    struct Logger {
        exedit2::Logger record;  // first: the plug-in hands its address back
        StandInEditor* editor;
    };
    template <LogLevel level>
    static void write_log(exedit2::Logger* self, const exedit2::Text* message);
    static void get_image(exedit2::Rgba* buffer);
    static void set_image(exedit2::Rgba* buffer, std::int32_t width, std::int32_t height);

    std::unique_ptr<vantreo_host::DynamicLibrary> module_;
    Logger logger_{};
    exedit2::FilterTable* table_ = nullptr;
    exedit2::Dword required_version_ = 0;
    exedit2::UninitializePluginFn uninitialize_ = nullptr;
    mutable std::mutex log_mutex_;
    std::vector<LogLine> log_;
    static std::atomic<int> stray_image_calls_;
};

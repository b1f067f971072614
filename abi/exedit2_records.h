// The records at the boundary of the editor's 64-bit successor, which loads filter plug-ins (*.auf2)
// that work on one object's image at a time. Its only target is 64-bit Windows; the same layouts on
// 64-bit Linux let the stand-in host and the plug-in meet there under the sanitizers. Every offset
// and size is checked at the end of this file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "abi/filter_records.h"

namespace exedit2 {

// The host's strings are UTF-16 (Windows' 2-byte wchar_t); char16_t has that size on every target.
using Text = char16_t;
using Dword = std::uint32_t;

// The flags of FilterTable::flag.
constexpr std::int32_t kFilterVideo = 1;
constexpr std::int32_t kFilterAudio = 2;
constexpr std::int32_t kFilterMakesObject = 4;
constexpr std::int32_t kFilterOnFilterObjects = 8;  // offered on filter objects, whose size may not change

// Every item starts with its type ("track", "select", ...) and its name, the key under which
// projects keep its value.
struct ItemHeader {
    const Text* type;
    const Text* name;
};

struct TrackItem {
    ItemHeader header;  // type "track"
    double value;       // written by the host before each call
    double min;
    double max;
    double step;        // 1, 0.1, 0.01 or 0.001
};

struct CheckItem {
    ItemHeader header;  // type "check"
    bool value;
};

struct SelectOption {
    const Text* name;  // null ends the list
    std::int32_t value;
};

struct SelectItem {
    ItemHeader header;  // type "select"
    std::int32_t value;
    const SelectOption* options;
};

struct Scene {
    std::int32_t width;
    std::int32_t height;
    std::int32_t rate;
    std::int32_t scale;
    std::int32_t sample_rate;
};

// The object an effect works on. Fields were only ever added at the end: a plug-in reads one of the
// later ones only from a host it asked for through RequiredVersion.
struct Object {
    std::int64_t id;
    std::int32_t frame;
    std::int32_t frame_total;
    double time;
    double time_total;
    std::int32_t width;   // the image's size now
    std::int32_t height;
    std::int64_t audio_sample;
    std::int64_t audio_sample_total;
    std::int32_t audio_channels;
    std::int32_t audio_reserved;
    std::int64_t effect_id;  // this effect on this object, unique while the editor runs
    std::int32_t flag;       // bit 0: a filter object
    std::int32_t layer;
    std::int32_t index;
    std::int32_t num;
};

// One pixel of the image buffers the video call exchanges, rows packed.
struct Rgba {
    std::uint8_t r;
    std::uint8_t g;
    std::uint8_t b;
    std::uint8_t a;
};

struct VideoCall {
    const Scene* scene;
    const Object* object;
    // Copies the object's image, object->width x object->height pixels, into the buffer.
    void (*get_image)(Rgba* buffer);
    // Replaces the image with width x height pixels of the buffer (null: the size, no content).
    void (*set_image)(Rgba* buffer, std::int32_t width, std::int32_t height);
    void* object_texture;
    void* frame_texture;
    void* services[13];  // later SDKs' editing and drawing services, not used
};

struct AudioCall;

struct FilterTable {
    std::int32_t flag;
    const Text* name;
    const Text* label;        // the group the effect is listed under; null: the default
    const Text* information;
    void** items;             // null-terminated pointers to item records
    bool (*video)(VideoCall* call);  // true: the object's later effects go on
    bool (*audio)(AudioCall* call);
};

// The host's log: each entry takes the record itself and a message (cut at 1024 characters).
struct Logger {
    using Write = void (*)(Logger* self, const Text* message);
    Write log;
    Write info;
    Write warn;
    Write error;
    Write verbose;
};

static_assert(sizeof(Text) == 2 && sizeof(bool) == 1, "the host's characters and bool");
static_assert(sizeof(void*) == 8, "the successor is a 64-bit program");
static_assert(sizeof(TrackItem) == 48 && offsetof(TrackItem, value) == 16 && offsetof(TrackItem, min) == 24 &&
                  offsetof(TrackItem, max) == 32 && offsetof(TrackItem, step) == 40,
              "TrackItem");
static_assert(sizeof(CheckItem) == 24 && offsetof(CheckItem, value) == 16, "CheckItem");
static_assert(sizeof(SelectOption) == 16 && offsetof(SelectOption, value) == 8, "SelectOption");
static_assert(sizeof(SelectItem) == 32 && offsetof(SelectItem, value) == 16 && offsetof(SelectItem, options) == 24,
              "SelectItem");
static_assert(sizeof(Scene) == 20 && offsetof(Scene, sample_rate) == 16, "Scene");
static_assert(sizeof(Object) == 88 && offsetof(Object, frame) == 8 && offsetof(Object, time) == 16 &&
                  offsetof(Object, time_total) == 24 && offsetof(Object, width) == 32 &&
                  offsetof(Object, height) == 36 && offsetof(Object, audio_sample) == 40 &&
                  offsetof(Object, effect_id) == 64 &&
                  offsetof(Object, flag) == 72 && offsetof(Object, layer) == 76 && offsetof(Object, index) == 80 &&
                  offsetof(Object, num) == 84,
              "Object");
static_assert(sizeof(Rgba) == 4, "Rgba");
static_assert(sizeof(VideoCall) == 152 && offsetof(VideoCall, object) == 8 && offsetof(VideoCall, get_image) == 16 &&
                  offsetof(VideoCall, set_image) == 24 && offsetof(VideoCall, object_texture) == 32 &&
                  offsetof(VideoCall, frame_texture) == 40 && offsetof(VideoCall, services) == 48,
              "VideoCall");
static_assert(sizeof(FilterTable) == 56 && offsetof(FilterTable, name) == 8 && offsetof(FilterTable, label) == 16 &&
                  offsetof(FilterTable, information) == 24 && offsetof(FilterTable, items) == 32 &&
                  offsetof(FilterTable, video) == 40 && offsetof(FilterTable, audio) == 48,
              "FilterTable");
static_assert(sizeof(Logger) == 40 && offsetof(Logger, info) == 8 && offsetof(Logger, warn) == 16 &&
                  offsetof(Logger, error) == 24 && offsetof(Logger, verbose) == 32,
              "Logger");

// The exports the host looks up.
using GetFilterPluginTableFn = FilterTable* (*)();
using RequiredVersionFn = Dword (*)();
using InitializePluginFn = bool (*)(Dword host_version);
using UninitializePluginFn = void (*)();
using InitializeLoggerFn = void (*)(Logger* logger);

}  // namespace exedit2

// The editor's records at the plug-in boundary. The editor is a 32-bit program: in a 32-bit build
// every layout below is exactly its own (checked at the end of this file).
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define VANTREO_CDECL __cdecl
#elif defined(__i386__)
#define VANTREO_CDECL __attribute__((cdecl))
#else
#define VANTREO_CDECL
#endif

#if defined(_WIN32)
#define VANTREO_EXPORT extern "C" __declspec(dllexport)
#else
#define VANTREO_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using HOST_BOOL = std::int32_t;

// One pixel: signed 16-bit Y, Cb and Cr. A frame is an array of them, row r column x at r * max_w + x.
struct PIXEL_YC {
    std::int16_t y;
    std::int16_t cb;
    std::int16_t cr;
};

// The per-frame record handed to the frame callback. The filter reads and writes only the fields from
// ycp_edit to max_h; the rest belong to the host.
struct FILTER_PROC_INFO {
    std::int32_t flag;
    PIXEL_YC* ycp_edit;  // the frame shown and taken back; the source picture on entry
    PIXEL_YC* ycp_temp;  // scratch frame of the same capacity; receives the result
    std::int32_t w;      // picture width on entry, output width on return
    std::int32_t h;      // picture height on entry, output height on return
    std::int32_t max_w;  // row stride of both frames, and the largest output width
    std::int32_t max_h;  // row capacity of both frames, and the largest output height
    std::int32_t frame;
    std::int32_t frame_n;
    std::int32_t org_w;
    std::int32_t org_h;
    std::int16_t* audiop;   // the frame's 16-bit PCM samples, channels interleaved
    std::int32_t audio_n;   // samples per channel
    std::int32_t audio_ch;  // channels
    void* pixelp;
    void* editp;
    std::int32_t yc_size;    // bytes per pixel of both frames
    std::int32_t line_size;  // bytes per row of both frames
    std::int32_t reserve[8];
};

struct FILTER;
using FilterProc = HOST_BOOL(VANTREO_CDECL*)(FILTER*, FILTER_PROC_INFO*);
using FilterInitExit = HOST_BOOL(VANTREO_CDECL*)(FILTER*);

// The registration record, 35 words. The host copies it into the instance record it passes to every
// callback, which has the same layout with `track` and `check` pointing at the current control values.
struct FILTER {
    std::int32_t flag;
    std::int32_t x;
    std::int32_t y;
    const char* name;
    std::int32_t track_n;
    const char* const* track_name;
    const std::int32_t* track_default;
    const std::int32_t* track_s;  // minimums; null: every minimum is 0
    const std::int32_t* track_e;  // maximums; null: every maximum is 256
    std::int32_t check_n;
    const char* const* check_name;
    const std::int32_t* check_default;  // 0 or 1; negative: the control is a button, not a check box
    FilterProc func_proc;
    FilterInitExit func_init;
    FilterInitExit func_exit;
    void* func_update;
    void* func_WndProc;
    std::int32_t* track;  // current track-bar values, in registration order
    std::int32_t* check;  // current check-box values (0 or 1), in registration order
    void* ex_data_ptr;
    std::int32_t ex_data_size;
    const char* information;
    void* func_save_start;
    void* func_save_end;
    void* exfunc;
    void* hwnd;
    void* dll_hinst;
    void* ex_data_def;
    void* func_is_saveframe;
    void* func_project_load;
    void* func_project_save;
    void* func_modify_title;
    const char* dll_path;
    std::int32_t reserve[2];
};
using FILTER_DLL = FILTER;

// Flag bits of the registration record.
constexpr std::int32_t FILTER_FLAG_RADIO_BUTTON = 0x00400000;  // check boxes form one radio group
constexpr std::int32_t FILTER_FLAG_EX_INFORMATION = 0x00040000;  // the record carries `information`

using GetFilterTableFn = FILTER_DLL*(VANTREO_CDECL*)();

#if defined(__i386__) || defined(_M_IX86)
#include <cstddef>
static_assert(sizeof(PIXEL_YC) == 6, "PIXEL_YC is three 16-bit channels");
static_assert(sizeof(FILTER_PROC_INFO) == 104, "FILTER_PROC_INFO is 104 bytes");
static_assert(offsetof(FILTER_PROC_INFO, flag) == 0 && offsetof(FILTER_PROC_INFO, ycp_edit) == 4 &&
                  offsetof(FILTER_PROC_INFO, ycp_temp) == 8 && offsetof(FILTER_PROC_INFO, w) == 12 &&
                  offsetof(FILTER_PROC_INFO, h) == 16 && offsetof(FILTER_PROC_INFO, max_w) == 20 &&
                  offsetof(FILTER_PROC_INFO, max_h) == 24 && offsetof(FILTER_PROC_INFO, frame) == 28 &&
                  offsetof(FILTER_PROC_INFO, frame_n) == 32 && offsetof(FILTER_PROC_INFO, org_w) == 36 &&
                  offsetof(FILTER_PROC_INFO, org_h) == 40 && offsetof(FILTER_PROC_INFO, audiop) == 44 &&
                  offsetof(FILTER_PROC_INFO, audio_n) == 48 && offsetof(FILTER_PROC_INFO, audio_ch) == 52 &&
                  offsetof(FILTER_PROC_INFO, pixelp) == 56 && offsetof(FILTER_PROC_INFO, editp) == 60 &&
                  offsetof(FILTER_PROC_INFO, yc_size) == 64 && offsetof(FILTER_PROC_INFO, line_size) == 68 &&
                  offsetof(FILTER_PROC_INFO, reserve) == 72,
              "FILTER_PROC_INFO layout");
static_assert(sizeof(FILTER_DLL) == 140, "FILTER_DLL is 35 words");
static_assert(offsetof(FILTER, flag) == 0 && offsetof(FILTER, x) == 4 && offsetof(FILTER, y) == 8 &&
                  offsetof(FILTER, name) == 12 && offsetof(FILTER, track_n) == 16 &&
                  offsetof(FILTER, track_name) == 20 && offsetof(FILTER, track_default) == 24 &&
                  offsetof(FILTER, track_s) == 28 && offsetof(FILTER, track_e) == 32 &&
                  offsetof(FILTER, check_n) == 36 && offsetof(FILTER, check_name) == 40 &&
                  offsetof(FILTER, check_default) == 44 && offsetof(FILTER, func_proc) == 48 &&
                  offsetof(FILTER, func_init) == 52 && offsetof(FILTER, func_exit) == 56 &&
                  offsetof(FILTER, func_update) == 60 && offsetof(FILTER, func_WndProc) == 64 &&
                  offsetof(FILTER, track) == 68 && offsetof(FILTER, check) == 72 &&
                  offsetof(FILTER, ex_data_ptr) == 76 && offsetof(FILTER, ex_data_size) == 80 &&
                  offsetof(FILTER, information) == 84 && offsetof(FILTER, func_save_start) == 88 &&
                  offsetof(FILTER, func_save_end) == 92 && offsetof(FILTER, exfunc) == 96 &&
                  offsetof(FILTER, hwnd) == 100 && offsetof(FILTER, dll_hinst) == 104 &&
                  offsetof(FILTER, ex_data_def) == 108 && offsetof(FILTER, func_is_saveframe) == 112 &&
                  offsetof(FILTER, func_project_load) == 116 && offsetof(FILTER, func_project_save) == 120 &&
                  offsetof(FILTER, func_modify_title) == 124 && offsetof(FILTER, dll_path) == 128 &&
                  offsetof(FILTER, reserve) == 132,
              "FILTER layout");
#endif
static_assert(sizeof(PIXEL_YC) == 6, "PIXEL_YC is packed on every target");

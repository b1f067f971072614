// A filter plug-in declared the way the editor's plug-in SDK declares its records (plain int, short and
// pointer fields, written out here rather than taken from the project's own header), so that a host
// handing it anything else is seen. Its frame callback checks what it receives and reports the first
// wrong value on standard error, returning failure.
//
// Track bars "Level" and "Spare" with no minimums or maximums (0..256 each), a check box "Invert" and a
// button "Reset". The frame: Y becomes Level - Y with Invert on, Level + Y with it off; Cb and Cr stay.
// Rows are stepped by line_size and pixels by yc_size, as filters built from the SDK step them.
#include <cstddef>
#include <cstdio>

namespace {

#if defined(_WIN32)
#define SDK_CDECL __cdecl
#define SDK_EXPORT extern "C" __declspec(dllexport)
#elif defined(__i386__)
#define SDK_CDECL __attribute__((cdecl))
#define SDK_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define SDK_CDECL
#define SDK_EXPORT extern "C" __attribute__((visibility("default")))
#endif

typedef int BOOL;

struct PIXEL_YC {
    short y;
    short cb;
    short cr;
};

struct FILTER_PROC_INFO {
    int flag;
    PIXEL_YC* ycp_edit;
    PIXEL_YC* ycp_temp;
    int w, h;
    int max_w, max_h;
    int frame;
    int frame_n;
    int org_w, org_h;
    short* audiop;
    int audio_n;
    int audio_ch;
    void* pixelp;
    void* editp;
    int yc_size;
    int line_size;
    int reserve[8];
};

struct FILTER;
typedef BOOL(SDK_CDECL* FilterProc)(FILTER* fp, FILTER_PROC_INFO* fpip);
typedef BOOL(SDK_CDECL* FilterInitExit)(FILTER* fp);

struct FILTER {
    int flag;
    int x, y;
    const char* name;
    int track_n;
    const char* const* track_name;
    const int* track_default;
    const int* track_s;
    const int* track_e;
    int check_n;
    const char* const* check_name;
    const int* check_default;
    FilterProc func_proc;
    FilterInitExit func_init;
    FilterInitExit func_exit;
    void* func_update;
    void* func_WndProc;
    int* track;
    int* check;
    void* ex_data_ptr;
    int ex_data_size;
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
    int reserve[2];
};

#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(FILTER_PROC_INFO) == 104 && offsetof(FILTER_PROC_INFO, audio_ch) == 52 &&
                  offsetof(FILTER_PROC_INFO, yc_size) == 64 && offsetof(FILTER_PROC_INFO, line_size) == 68,
              "the SDK's FILTER_PROC_INFO");
static_assert(sizeof(FILTER) == 140 && offsetof(FILTER, track) == 68, "the SDK's FILTER_DLL");
#endif

const char* const kTrackNames[] = {"Level", "Spare"};
const int kTrackDefault[] = {0, 256};
const char* const kCheckNames[] = {"Invert", "Reset"};
const int kCheckDefault[] = {0, -1};

// Reports `field` when `value` is not `expected`; true when it is.
bool received(const char* field, long long value, long long expected)
{
    if (value == expected) return true;
    std::fprintf(stderr, "SDK layout plug-in: %s is %lld, expected %lld\n", field, value, expected);
    return false;
}

bool within(const char* field, long long value, long long low, long long high)
{
    if (value >= low && value <= high) return true;
    std::fprintf(stderr, "SDK layout plug-in: %s is %lld, outside %lld..%lld\n", field, value, low, high);
    return false;
}

BOOL SDK_CDECL sdk_proc(FILTER* fp, FILTER_PROC_INFO* fpip)
{
    bool sane = received("yc_size", fpip->yc_size, sizeof(PIXEL_YC)) &&
                received("line_size", fpip->line_size, static_cast<long long>(fpip->max_w) * fpip->yc_size) &&
                within("w", fpip->w, 1, fpip->max_w) && within("h", fpip->h, 1, fpip->max_h) &&
                received("org_w", fpip->org_w, fpip->w) && received("org_h", fpip->org_h, fpip->h) &&
                received("audiop", fpip->audiop != nullptr, 0) && received("audio_n", fpip->audio_n, 0) &&
                received("audio_ch", fpip->audio_ch, 0) && within("Level", fp->track[0], 0, 256) &&
                within("Spare", fp->track[1], 0, 256) && within("Invert", fp->check[0], 0, 1) &&
                received("Reset", fp->check[1], 0);
    for (int i = 0; sane && i < 8; ++i) sane = received("a reserve[] entry", fpip->reserve[i], 0);
    if (!sane) return 0;

    const char* edit = reinterpret_cast<const char*>(fpip->ycp_edit);
    char* temp = reinterpret_cast<char*>(fpip->ycp_temp);
    for (int y = 0; y < fpip->h; ++y)
        for (int x = 0; x < fpip->w; ++x) {
            const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(y) * fpip->line_size + x * fpip->yc_size;
            PIXEL_YC pixel = *reinterpret_cast<const PIXEL_YC*>(edit + at);
            pixel.y = static_cast<short>(fp->track[0] + (fp->check[0] ? -pixel.y : pixel.y));
            *reinterpret_cast<PIXEL_YC*>(temp + at) = pixel;
        }
    PIXEL_YC* swap = fpip->ycp_edit;
    fpip->ycp_edit = fpip->ycp_temp;
    fpip->ycp_temp = swap;
    return 1;
}

FILTER build()
{
    FILTER record{};
    record.name = "SDK layout";
    record.track_n = 2;
    record.track_name = kTrackNames;
    record.track_default = kTrackDefault;
    record.check_n = 2;
    record.check_name = kCheckNames;
    record.check_default = kCheckDefault;
    record.func_proc = sdk_proc;
    return record;
}

FILTER registration = build();

}  // namespace

SDK_EXPORT FILTER* SDK_CDECL GetFilterTable() { return &registration; }

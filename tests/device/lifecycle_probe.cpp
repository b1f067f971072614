// Loads the plug-in the way the editor does and runs its callbacks, so that their effects on the
// whole process (messages, what each callback returns, whether the process outlives them) can be
// observed from outside. Returns 7, its own status, when it gets to the end.
// usage: lifecycle_probe PLUGIN STEP...
//   init, exit     the callbacks, each line saying what it returned
//   frame          a 64x48 frame, its line giving the output's size
//   LABEL=VALUE    a control ("Method=1", "T. Rate=0"), or "other=1" selecting the size bars
//   opencl         whether the library VANTREO_TEST_OPENCL_LIBRARY names is loaded now
#include <cstdio>
#include <cstdlib>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "host/editor/plugin_host.h"

namespace {

bool library_loaded(const char* path)
{
#if defined(_WIN32)
    return path && GetModuleHandleA(path);
#else
    return path && dlopen(path, RTLD_NOW | RTLD_NOLOAD);
#endif
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) return 2;
    vantreo_host::PluginHost host(argv[1], {64, 48});
    FILTER& instance = const_cast<FILTER&>(host.instance());
    for (int i = 2; i < argc; ++i) {
        const std::string step = argv[i];
        const std::string::size_type equals = step.find('=');
        if (step == "init") {
            std::printf("init returned %d\n", instance.func_init(&instance));
        } else if (step == "exit") {
            std::fflush(stdout);
            std::printf("exit returned %d\n", instance.func_exit(&instance));
        } else if (step == "frame") {
            const vantreo_host::Picture output = host.process(vantreo_host::Picture(64, 48));
            std::printf("frame %dx%d\n", output.w, output.h);
        } else if (step == "opencl") {
            std::printf("OpenCL %s\n", library_loaded(std::getenv("VANTREO_TEST_OPENCL_LIBRARY")) ? "loaded" : "closed");
        } else if (step == "other=1") {
            host.select("other");
        } else if (equals != std::string::npos) {
            host.set_track(step.substr(0, equals), std::stoi(step.substr(equals + 1)));
        } else {
            return 2;
        }
    }
    return 7;
}

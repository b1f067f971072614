// Loads the plug-in the way the editor does and runs its callbacks, so that their effects on the
// whole process (messages, what each callback returns, whether the process outlives them) can be
// observed from outside. Returns 7, its own status, when it gets to the end.
// usage: lifecycle_probe PLUGIN init|exit|frame-exit
#include <cstdio>
#include <string>

#include "host/editor/plugin_host.h"

int main(int argc, char** argv)
{
    if (argc != 3) return 2;
    const std::string mode = argv[2];
    vantreo_host::PluginHost host(argv[1], {64, 48});
    FILTER& instance = const_cast<FILTER&>(host.instance());
    std::printf("init returned %d\n", instance.func_init(&instance));
    if (mode == "frame-exit") {
        host.set_track("Method", 1);
        host.set_track("T. Rate", 128);
        host.select("other");
        host.set_track("Width", 32);
        host.set_track("Height", 24);
        const vantreo_host::Picture output = host.process(vantreo_host::Picture(64, 48));
        std::printf("frame %dx%d\n", output.w, output.h);
    }
    if (mode != "init") {
        std::fflush(stdout);
        std::printf("exit returned %d\n", instance.func_exit(&instance));
    }
    return 7;
}

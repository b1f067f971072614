// Loads the plug-in the way the editor does and runs its start-up and shut-down callbacks, so that
// their effects on the whole process (messages, exit status) can be observed from outside.
// usage: lifecycle_probe PLUGIN init|exit|frame-exit
#include <cstdio>
#include <cstring>
#include <string>

#include "host/plugin_host.h"

int main(int argc, char** argv)
{
    if (argc != 3) return 2;
    const std::string mode = argv[2];
    vantreo_host::PluginHost host(argv[1], {64, 48});
    host.init();
    std::printf("init returned\n");
    if (mode == "init") return 0;
    if (mode == "frame-exit") {
        host.set_track("Method", 1);
        host.set_track("T. Rate", 128);
        host.process(vantreo_host::Picture(64, 48));
    }
    std::fflush(stdout);
    FILTER& instance = const_cast<FILTER&>(host.instance());
    instance.func_exit(&instance);
    return 3;  // func_exit ends the process itself
}

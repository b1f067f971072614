// Command-line look-ups of the utility library.
#include <vector>

#include <gtest/gtest.h>

#include "platform/cutil/cutil.h"

namespace {

struct Args {
    std::vector<const char*> argv;
    Args(std::initializer_list<const char*> args) : argv(args) {}
    int argc() const { return static_cast<int>(argv.size()); }
    const char** data() { return argv.data(); }
};

}  // namespace

TEST(CmdLineArgumentInt, StoresThePresentIntegerValue)
{
    Args args{"prog", "--width=640", "-height=-480", nullptr, "--n", "--n=+2", "--n=3"};
    int value = 0;
    EXPECT_NE(cutGetCmdLineArgumenti(args.argc(), args.data(), "width", &value), 0);
    EXPECT_EQ(value, 640);
    EXPECT_NE(cutGetCmdLineArgumenti(args.argc(), args.data(), "height", &value), 0);
    EXPECT_EQ(value, -480);
    // The first occurrence with a value counts.
    EXPECT_NE(cutGetCmdLineArgumenti(args.argc(), args.data(), "n", &value), 0);
    EXPECT_EQ(value, 2);
}

TEST(CmdLineArgumentInt, LeavesTheValueAloneWhenAbsentOrMalformed)
{
    Args args{"--device=3", "--width=", "--height=12px", "--depth= 4", "--rate=99999999999", "--scale", "---size=5",
              "--threads=0x10", "--devices=4", "--dev=5", "device=6"};
    for (const char* name : {"device", "width", "height", "depth", "rate", "scale", "size", "threads", "missing", "de", ""}) {
        int value = -17;
        EXPECT_EQ(cutGetCmdLineArgumenti(args.argc(), args.data(), name, &value), 0) << name;
        EXPECT_EQ(value, -17) << name;
    }
    int value = -17;
    EXPECT_EQ(cutGetCmdLineArgumenti(args.argc(), args.data(), "devices", nullptr), 0);
    EXPECT_EQ(cutGetCmdLineArgumenti(args.argc(), nullptr, "devices", &value), 0);
    EXPECT_EQ(cutGetCmdLineArgumenti(args.argc(), args.data(), nullptr, &value), 0);
    EXPECT_NE(cutGetCmdLineArgumenti(args.argc(), args.data(), "devices", &value), 0);
    EXPECT_EQ(value, 4);
}

TEST(CmdLineFlag, PresentWithOrWithoutValue)
{
    Args args{"--qatest", "--noprompt", "-verbose", "--device=1", "--devices"};
    EXPECT_EQ(cutCheckCmdLineFlag(args.argc(), args.data(), "qatest"), 0) << "argv[0] is the program";
    for (const char* name : {"noprompt", "verbose", "device", "devices"})
        EXPECT_NE(cutCheckCmdLineFlag(args.argc(), args.data(), name), 0) << name;
    for (const char* name : {"dev", "no", "prompt", ""})
        EXPECT_EQ(cutCheckCmdLineFlag(args.argc(), args.data(), name), 0) << name;
}

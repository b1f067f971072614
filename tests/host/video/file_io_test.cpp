// Raw frame files, outputs that appear only when complete, and the demo pattern.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#ifndef _WIN32
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#endif

#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "host/os/output_file.h"
#include "host/video/test_pattern.h"
#include "host/video/yc_format.h"
#include "tests/host/test_support.h"

using namespace vantreo_host;
using namespace host_test;

namespace {

TEST(YcFormat, PixelsAreLittleEndianSigned16BitYCbCr)
{
    Picture picture(2, 1);
    picture.at(0, 0) = {0x0102, -2, 0x7fff};
    picture.at(1, 0) = {-32768, 4096, -2048};
    std::vector<unsigned char> bytes;
    encode_yc(picture, bytes);
    const std::vector<unsigned char> expected = {0x02, 0x01, 0xfe, 0xff, 0xff, 0x7f,
                                                 0x00, 0x80, 0x00, 0x10, 0x00, 0xf8};
    EXPECT_EQ(bytes, expected);

    Picture decoded(2, 1);
    decode_yc(bytes.data(), decoded);
    EXPECT_EQ(decoded.at(1, 0).y, -32768);
    EXPECT_EQ(decoded.at(0, 0).cb, -2);
    EXPECT_EQ(decoded.at(1, 0).cr, -2048);
}

TEST(YcFormat, ReaderTakesWholeFramesUntilTheEnd)
{
    TempDir dir;
    const std::string frame(3 * 2 * 6, '\x01');
    write_file(dir.file("two.yc"), frame + frame);
    write_file(dir.file("empty.yc"), "");
    Picture picture;
    YcReader two(dir.file("two.yc"), 3, 2);
    EXPECT_TRUE(two.read(picture) && two.read(picture));
    EXPECT_EQ(picture.at(2, 1).y, 0x0101);
    EXPECT_FALSE(two.read(picture));
    YcReader empty(dir.file("empty.yc"), 3, 2);
    EXPECT_FALSE(empty.read(picture)) << "no frames is no error";
}

TEST(OutputFileTest, AppearsOnlyWhenCommitted)
{
    TempDir dir;
    const std::string path = dir.file("out.yc");
    {
        OutputFile output(path);
        output.write("abc", 3);
        EXPECT_EQ(dir.names().count("out.yc"), 0u) << "nothing under the final name while writing";
        output.commit();
    }
    EXPECT_EQ(read_file(path), "abc");
    EXPECT_EQ(dir.names(), std::set<std::string>{"out.yc"}) << "no temporary file left";

    // An abandoned rewrite leaves the previous file as it was and nothing else.
    {
        OutputFile output(path);
        output.write("half", 4);
    }
    EXPECT_EQ(read_file(path), "abc");
    EXPECT_EQ(dir.names(), std::set<std::string>{"out.yc"});

    {
        OutputFile output(path);
        output.write("new", 3);
        output.commit();
    }
    EXPECT_EQ(read_file(path), "new");
}

TEST(OutputFileTest, PipesAndDirectoriesAreNotReplaced)
{
    TempDir dir;
#ifndef _WIN32
    // A pipe (or a device such as /dev/null) is written in place; a temporary file renamed over it
    // would replace it. (Windows has no named pipes in the file system.)
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    {
        OutputFile output(fifo);
        output.write("abc", 3);
        output.commit();
    }
    char got[8] = {};
    EXPECT_EQ(read(reader, got, sizeof got), 3);
    EXPECT_STREQ(got, "abc");
    close(reader);
    struct stat info;
    ASSERT_EQ(stat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));

    // So are a pipe and a socket through /proc/self/fd/N (as /dev/stdout leads there), and a deleted
    // file, whose link reads "NAME (deleted)": no file of that name appears.
    int pipe_ends[2], socket_ends[2];
    ASSERT_EQ(pipe2(pipe_ends, O_NONBLOCK), 0);
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, socket_ends), 0);
    write_file(dir.file("deleted"), "");
    int deleted[2] = {open(dir.file("deleted").c_str(), O_RDONLY), open(dir.file("deleted").c_str(), O_WRONLY)};
    ASSERT_EQ(unlink(dir.file("deleted").c_str()), 0);
    for (const int* ends : {pipe_ends, socket_ends, deleted}) {
        OutputFile output("/proc/self/fd/" + std::to_string(ends[1]));
        output.write("abc", 3);
        output.commit();
        EXPECT_EQ(read(ends[0], got, sizeof got), 3);
        close(ends[0]);
        close(ends[1]);
    }
    EXPECT_EQ(dir.names(), std::set<std::string>{"fifo"});
#endif

    EXPECT_NE(error_of([&] { OutputFile output(dir.path()); }).find("is a directory"), std::string::npos);
}

#ifndef _WIN32
TEST(OutputFileTest, ReplacesTheFileALinkNamesKeepingItsPermissions)
{
    TempDir dir;
    const mode_t mask = umask(022);
    auto replace = [](const std::string& path, const std::string& bytes) {
        OutputFile output(path);
        output.write(bytes.data(), bytes.size());
        output.commit();
    };
    auto mode = [](const std::string& path) {
        struct stat info;
        return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
    };
    auto is_link = [](const std::string& path) {
        struct stat info;
        return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
    };

    replace(dir.file("new.yc"), "new");
    EXPECT_EQ(mode(dir.file("new.yc")), 0644u) << "a new file as the umask allows";
    write_file(dir.file("private.yc"), "old");
    ASSERT_EQ(chmod(dir.file("private.yc").c_str(), 0600), 0);
    replace(dir.file("private.yc"), "new");
    EXPECT_EQ(mode(dir.file("private.yc")), 0600u);

    // Through links (relative, chained, to a file not there yet) the file at the end is written.
    ASSERT_EQ(symlink("private.yc", dir.file("link.yc").c_str()), 0);
    ASSERT_EQ(symlink(dir.file("link.yc").c_str(), dir.file("link-to-link.yc").c_str()), 0);
    ASSERT_EQ(symlink("made.yc", dir.file("dangling.yc").c_str()), 0);
    replace(dir.file("link-to-link.yc"), "through");
    replace(dir.file("dangling.yc"), "made");
    EXPECT_EQ(read_file(dir.file("private.yc")), "through");
    EXPECT_EQ(mode(dir.file("private.yc")), 0600u);
    EXPECT_EQ(read_file(dir.file("made.yc")), "made");
    for (const char* link : {"link.yc", "link-to-link.yc", "dangling.yc"}) EXPECT_TRUE(is_link(dir.file(link))) << link;

    // A read-only file is refused to a user access() denies writing: as root, checked as nobody.
    // In a sticky folder (as /tmp) another user's file, writable or not, is refused before anything is
    // written: the rename at the end could not replace it.
    const std::string locked = dir.file("locked.yc");
    const std::string shared = dir.file("sticky/shared.yc");
    write_file(locked, "old");
    ASSERT_EQ(mkdir(dir.file("sticky").c_str(), 0777), 0);
    write_file(shared, "old");
    ASSERT_EQ(chmod(locked.c_str(), 0444) | chmod(dir.file("sticky").c_str(), 01777) | chmod(shared.c_str(), 0666), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    const bool as_nobody = getuid() == 0;
    const pid_t child = fork();
    if (child == 0) {
        if (as_nobody && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
        const std::string message = error_of([&] { replace(locked, "new"); });
        if (message.find("cannot write output \"" + locked + "\": Permission denied") == std::string::npos ||
            read_file(locked) != "old")
            _exit(1);
        const std::string sticky = error_of([&] { OutputFile output(shared); });
        _exit(!as_nobody || sticky.find("another user's file") != std::string::npos ? 0 : 3);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    // Root may write it, and replaces it still read-only.
    if (access(locked.c_str(), W_OK) == 0) {
        replace(locked, "new");
        EXPECT_EQ(read_file(locked), "new");
        EXPECT_EQ(mode(locked), 0444u);
    }

    // Nor may anyone replace an append-only file (chattr +a, where the file system lets this user set it).
    const std::string appended = dir.file("append-only.yc");
    write_file(appended, "old");
    const int appended_fd = open(appended.c_str(), O_RDONLY);
    int flags = 0;
    if (ioctl(appended_fd, FS_IOC_GETFLAGS, &flags) == 0 &&
        ioctl(appended_fd, FS_IOC_SETFLAGS, &(flags |= FS_APPEND_FL)) == 0) {
        EXPECT_NE(error_of([&] { OutputFile output(appended); }).find("append-only"), std::string::npos);
        ioctl(appended_fd, FS_IOC_SETFLAGS, &(flags &= ~FS_APPEND_FL));
    }
    close(appended_fd);

    // A name at the file-name limit leaves no room for a suffix: the temporary name is a short one.
    const std::string longest = std::string(255 - 3, 'n') + ".yc";
    replace(dir.file(longest), "long");
    EXPECT_EQ(read_file(dir.file(longest)), "long");
    // A name one byte longer, or a path past PATH_MAX whose folder is not, is refused before anything is
    // written: the rename at the end would fail.
    std::string deep = dir.file("d");
    while (mkdir(deep.c_str(), 0777) == 0 && deep.size() + 1 + longest.size() < PATH_MAX)
        deep += "/" + std::string(200, 'd');
    EXPECT_NE(error_of([&] { OutputFile output(dir.file(longest + "s")); }).find("has 256 bytes"), std::string::npos);
    EXPECT_NE(error_of([&] { OutputFile output(deep + "/" + longest); }).find("path has"), std::string::npos);
    EXPECT_EQ(dir.names(), (std::set<std::string>{"new.yc", "private.yc", "link.yc", "link-to-link.yc", "dangling.yc",
                                                  "made.yc", "locked.yc", "sticky", "append-only.yc", longest, "d"}));
    umask(mask);
}
#endif

TEST(TestPattern, MovingDetailColourAndEdgesInTheHostScale)
{
    const Picture first = test_pattern_frame(kDemoWidth, kDemoHeight, 0, kDemoFrames);
    const Picture later = test_pattern_frame(kDemoWidth, kDemoHeight, 30, kDemoFrames);
    ASSERT_EQ(first.pixels.size(), static_cast<std::size_t>(kDemoWidth) * kDemoHeight);

    bool colour = false;
    int sharp_steps = 0;
    std::size_t moved = 0;
    for (std::int32_t y = 0; y < first.h; ++y)
        for (std::int32_t x = 0; x < first.w; ++x) {
            const PIXEL_YC& p = first.at(x, y);
            ASSERT_TRUE(p.y >= 0 && p.y <= kMaxLuma && p.cb >= -kMaxChroma && p.cb <= kMaxChroma &&
                        p.cr >= -kMaxChroma && p.cr <= kMaxChroma)
                << x << "," << y;
            colour = colour || p.cb < -500 || p.cr > 500;
            if (x > 0 && std::abs(p.y - first.at(x - 1, y).y) > kMaxLuma / 2) ++sharp_steps;
            if (p.y != later.at(x, y).y || p.cb != later.at(x, y).cb) ++moved;
        }
    EXPECT_TRUE(colour);
    EXPECT_GT(sharp_steps, 1000) << "fine detail and hard edges";
    EXPECT_GT(moved, first.pixels.size() / 20) << "the picture moves";

    const Picture again = test_pattern_frame(kDemoWidth, kDemoHeight, 30, kDemoFrames);
    EXPECT_EQ(std::memcmp(again.pixels.data(), later.pixels.data(), later.pixels.size() * sizeof(PIXEL_YC)), 0);
    EXPECT_EQ(test_pattern_frame(3, 2, 0, 1).pixels.size(), 6u) << "any size works";
}

}  // namespace

// Small helpers shared by the host tests: a scratch directory and whole-file reads and writes.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace host_test {

// A fresh directory under /tmp, removed with everything in it at the end.
class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/host_test_XXXXXX";
        path_ = mkdtemp(pattern) ? pattern : "";
    }
    ~TempDir() { remove_tree(path_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    std::set<std::string> names() const
    {
        std::set<std::string> result;
        if (DIR* dir = opendir(path_.c_str())) {
            while (const dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") result.insert(name);
            }
            closedir(dir);
        }
        return result;
    }

private:
    static void remove_tree(const std::string& path)
    {
        if (DIR* dir = opendir(path.c_str())) {
            while (const dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") remove_tree(path + "/" + name);
            }
            closedir(dir);
            rmdir(path.c_str());
        } else {
            std::remove(path.c_str());
        }
    }

    std::string path_;
};

inline std::string read_file(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

inline void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// The message of the exception `action` throws, or "" when it throws none.
template <typename Action>
std::string error_of(Action action)
{
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "";
}

}  // namespace host_test

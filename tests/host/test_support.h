// Small helpers shared by the host tests: a scratch directory and whole-file reads and writes.
#pragma once

#include <dirent.h>
#include <unistd.h>
#ifdef _WIN32
#include <direct.h>
#include <process.h>

#include <filesystem>
#endif

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace host_test {

// A fresh directory under /tmp (on Windows, the temporary folder), removed with everything in it at
// the end.
class TempDir {
public:
    TempDir()
    {
#ifdef _WIN32
        // No mkdtemp: the first numbered name that _mkdir can create is ours.
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        for (unsigned i = 0; i < 10000 && path_.empty(); ++i) {
            const std::string candidate =
                (base / ("host_test_" + std::to_string(_getpid()) + "_" + std::to_string(i))).string();
            if (_mkdir(candidate.c_str()) == 0) path_ = candidate;
        }
#else
        char pattern[] = "/tmp/host_test_XXXXXX";
        path_ = mkdtemp(pattern) ? pattern : "";
#endif
    }
    ~TempDir() { remove_tree(path_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // The names in the directory, or in its subdirectory `sub`.
    std::set<std::string> names(const std::string& sub = "") const
    {
        std::set<std::string> result;
        if (DIR* dir = opendir((sub.empty() ? path_ : file(sub)).c_str())) {
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

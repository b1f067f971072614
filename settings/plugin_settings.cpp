#include "settings/plugin_settings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include <sys/stat.h>
#include <sys/types.h>

#include "platform/printable_text.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <limits.h>
#endif

namespace {

std::string trimmed(const std::string& text)
{
    const char* const space = " \t\r\f\v";
    const std::size_t first = text.find_first_not_of(space);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

bool same_key(const std::string& a, const char* b)
{
    if (a.size() != std::strlen(b)) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
    return true;
}

// One line of `problems`, in printf's terms.
__attribute__((format(printf, 1, 2))) std::string problem_line(const char* format, ...)
{
    char line[1024];
    std::va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    return std::string("Vantreo: ") + line + "\n";
}

std::string bad_value_line(const std::string& where, const SettingKey& key, const std::string& value,
                           const PluginSettings& settings)
{
    return problem_line("%s: %s; using %d", where.c_str(), bad_setting_value(key, value).c_str(),
                        static_cast<int>(settings.*key.value));
}

// "max_source_side and extended_methods", for the message on an unknown key.
std::string key_names()
{
    std::string names;
    for (std::size_t i = 0; i < std::size(kSettingKeys); ++i)
        names += std::string(i == 0 ? "" : i + 1 == std::size(kSettingKeys) ? " and " : ", ") + kSettingKeys[i].name;
    return names;
}

// The end of the line that starts at `start` in `text`, and the start of the next: a line ends at CR,
// LF or CRLF, as editors on any system write them.
std::size_t line_end(const std::string& text, std::size_t start, std::size_t& next)
{
    const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
    next = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    return end;
}

// Reads the settings file at `path` into `text`: an empty result when it was read or is simply not
// there, else why it was not. Only a regular file of at most kMaxSettingsFileBytes is read, so that a
// FIFO, a device or a huge file never holds up or exhausts the editor.
std::string read_settings_file(const std::string& path, std::string& text)
{
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return errno == ENOENT ? "" : std::strerror(errno);
    if (!S_ISREG(status.st_mode)) return "not a regular file";
    const std::string too_large = "larger than " + std::to_string(kMaxSettingsFileBytes) + " bytes";
    if (status.st_size > static_cast<decltype(status.st_size)>(kMaxSettingsFileBytes)) return too_large;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return std::strerror(errno);
    char buffer[4096];
    std::size_t count;
    errno = 0;
    while (text.size() <= kMaxSettingsFileBytes && (count = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, count);
    const int error = std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
    std::fclose(file);
    if (error != 0) return std::strerror(error);
    return text.size() > kMaxSettingsFileBytes ? too_large : "";  // it grew after the check
}

}  // namespace

const SettingKey* find_setting_key(const std::string& name)
{
    for (const SettingKey& key : kSettingKeys)
        if (same_key(name, key.name)) return &key;
    return nullptr;
}

bool apply_setting(const SettingKey& key, const std::string& text, PluginSettings& settings)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    const long parsed = std::strtol(text.c_str(), nullptr, 10);
    if (parsed < key.lowest || parsed > key.highest) return false;
    settings.*key.value = static_cast<std::int32_t>(parsed);
    return true;
}

std::string bad_setting_value(const SettingKey& key, const std::string& text)
{
    return std::string(key.name) + " must be a whole number from " + std::to_string(key.lowest) + " to " +
           std::to_string(key.highest) + ", not '" + printable_text(text) + "'";
}

void apply_settings_text(const std::string& text, const std::string& file_name, PluginSettings& settings,
                         std::string& problems)
{
    // A file of nothing but mistakes (or not a settings file at all) costs a few lines, not one a line.
    int problem_count = 0;
    const auto report = [&](const std::string& line) {
        if (++problem_count <= kShownSettingsFileProblems) problems += line;
    };
    int line_set[std::size(kSettingKeys)] = {};  // the line that last set each key, 0 for none

    // A byte-order mark, as Windows editors write, is not part of the first line.
    std::size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (int line_number = 1; start <= text.size(); ++line_number) {
        std::size_t next;
        std::string line = text.substr(start, line_end(text, start, next) - start);
        start = next;
        line = trimmed(line.substr(0, line.find_first_of("#;")));
        if (line.empty()) continue;

        const std::string where = printable_text(file_name) + ":" + std::to_string(line_number);
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            report(problem_line("%s: expected key=value, not '%s'", where.c_str(), printable_text(line).c_str()));
            continue;
        }
        const std::string key = trimmed(line.substr(0, equals));
        const std::string value = trimmed(line.substr(equals + 1));
        const SettingKey* known = find_setting_key(key);
        if (!known) {
            report(problem_line("%s: unknown key '%s' (the keys are %s)", where.c_str(), printable_text(key).c_str(),
                                key_names().c_str()));
            continue;
        }
        if (!apply_setting(*known, value, settings)) {
            report(bad_value_line(where, *known, value, settings));
            continue;
        }
        int& earlier = line_set[known - kSettingKeys];
        if (earlier != 0)
            report(problem_line("%s: %s is set again (also on line %d); using %d", where.c_str(), known->name, earlier,
                                static_cast<int>(settings.*known->value)));
        earlier = line_number;
    }
    if (problem_count > kShownSettingsFileProblems)
        problems += problem_line("%s: %d more problems like these", printable_text(file_name).c_str(),
                                 problem_count - kShownSettingsFileProblems);
}

void apply_settings_environment(PluginSettings& settings, std::string& problems)
{
    for (const SettingKey& key : kSettingKeys) {
        const char* text = std::getenv(key.variable);
        if (!text) continue;
        const std::string value = trimmed(text);
        if (!apply_setting(key, value, settings)) problems += bad_value_line(key.variable, key, value, settings);
    }
}

std::string plugin_folder()
{
    std::string path;
#if defined(_WIN32)
    // The module that holds this function's code: the plug-in, wherever the editor loaded it from.
    HMODULE module = nullptr;
    char name[MAX_PATH];
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(&plugin_folder), &module)) {
        const DWORD length = GetModuleFileNameA(module, name, MAX_PATH);
        if (length > 0 && length < MAX_PATH) path.assign(name, length);
    }
    const std::size_t slash = path.find_last_of("\\/");
#else
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&plugin_folder), &info) && info.dli_fname) {
        // A module loaded by a relative path is named relative to the folder it was loaded from.
        char resolved[PATH_MAX];
        path = realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
    }
    const std::size_t slash = path.find_last_of('/');
#endif
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

PluginSettings read_plugin_settings(const std::string& folder, std::string& problems)
{
    PluginSettings settings;
    if (!folder.empty()) {
        const std::string path = folder + kSettingsFileName;
        std::string text;
        const std::string unread = read_settings_file(path, text);
        if (unread.empty())
            apply_settings_text(text, path, settings, problems);
        else
            problems += problem_line("cannot read %s: %s; using the default settings", printable_text(path).c_str(),
                                     unread.c_str());
    }
    apply_settings_environment(settings, problems);
    return settings;
}

PluginSettings load_plugin_settings(const std::string& folder)
{
    std::string problems;
    const PluginSettings settings = read_plugin_settings(folder, problems);
    std::fputs(problems.c_str(), stderr);
    return settings;
}

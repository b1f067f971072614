// The plug-in's settings, which the tool reads as the plug-in does to know the limits it works by:
// `vantreo.ini` in the folder of the loaded plug-in (plain `key=value` lines; `#` or `;` starts a
// comment), read by the plug-in once, when the editor first asks for the filter's record (else at
// start-up), each key overridden by an environment variable of the same meaning. A missing file
// means the defaults; every problem costs one line on stderr (the file's first few, then their count)
// and that key's default (a file that is not regular or is over 64 KiB, all of them), never the
// start-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Source pictures (after cropping) wider or taller than the limit pass through untouched.
constexpr std::int32_t kDefaultMaxSourceSide = 1600;
constexpr std::int32_t kLargestMaxSourceSide = 8192;

struct PluginSettings {
    std::int32_t max_source_side = kDefaultMaxSourceSide;  // kDefaultMaxSourceSide .. kLargestMaxSourceSide
    // 1: the "Method" bar also offers 2 bicubic and 3 Lanczos-3; 0 (the default): the editor's two.
    std::int32_t extended_methods = 0;
};

// The settings file's name, its largest size, and the environment variables that override its keys.
constexpr const char* kSettingsFileName = "vantreo.ini";
constexpr std::size_t kMaxSettingsFileBytes = 64 * 1024;
// The file's problems reported one a line; a line with their count stands for the rest.
constexpr int kShownSettingsFileProblems = 5;
constexpr const char* kMaxSourceSideVariable = "VANTREO_MAX_SOURCE_SIDE";
constexpr const char* kExtendedMethodsVariable = "VANTREO_EXTENDED_METHODS";

// One key of the settings: its name in the file, the variable that overrides it, its range.
struct SettingKey {
    const char* name;
    const char* variable;
    std::int32_t lowest;
    std::int32_t highest;
    std::int32_t PluginSettings::*value;
};
inline constexpr SettingKey kSettingKeys[] = {
    {"max_source_side", kMaxSourceSideVariable, kDefaultMaxSourceSide, kLargestMaxSourceSide,
     &PluginSettings::max_source_side},
    {"extended_methods", kExtendedMethodsVariable, 0, 1, &PluginSettings::extended_methods},
};

// The key named `name` (case aside), or null.
const SettingKey* find_setting_key(const std::string& name);

// Sets `key` from `text` when it is a whole number in the key's range (digits only); otherwise
// changes nothing and returns false.
bool apply_setting(const SettingKey& key, const std::string& text, PluginSettings& settings);

// Why `text` is no value of `key`, for a message: "max_source_side must be a whole number from
// 1600 to 8192, not 'x'".
std::string bad_setting_value(const SettingKey& key, const std::string& text);

// Applies the lines of `text` (ended by CR, LF or CRLF), read from `file_name`, to `settings`; each
// malformed line, unknown key or value out of range changes nothing and adds one line to `problems`,
// naming the file and line, and a key set again takes the later value with a line naming both. Past
// kShownSettingsFileProblems, one line counts the rest.
void apply_settings_text(const std::string& text, const std::string& file_name, PluginSettings& settings,
                         std::string& problems);

// Applies each key's environment variable, when set; a bad value keeps what `settings` had and adds
// one line to `problems`.
void apply_settings_environment(PluginSettings& settings, std::string& problems);

// The folder (with its trailing separator) of the module this code is linked into: the plug-in when
// loaded as one, else the program. Empty when it cannot be found.
std::string plugin_folder();

// The settings from the file in `folder` (none when empty) and the environment; each problem adds
// one line to `problems`.
PluginSettings read_plugin_settings(const std::string& folder, std::string& problems);

// The same, with the problems reported on stderr.
PluginSettings load_plugin_settings(const std::string& folder);

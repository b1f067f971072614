// The plug-in's own settings: `vantreo.ini` in the folder of the loaded plug-in (plain `key=value`
// lines; `#` or `;` starts a comment), read once, when the editor first asks for the filter's record
// (else at start-up), each key overridden by an environment variable of the same meaning. A missing
// file means the defaults; every problem costs one line on stderr and that key's default (a file that
// is not regular or is over 64 KiB, all of them), never the start-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Source pictures (after cropping) wider or taller than the limit pass through untouched.
constexpr std::int32_t kDefaultMaxSourceSide = 1600;
constexpr std::int32_t kLargestMaxSourceSide = 8192;

struct PluginSettings {
    std::int32_t max_source_side = kDefaultMaxSourceSide;  // kDefaultMaxSourceSide .. kLargestMaxSourceSide
};

// The settings file's name, its largest size, and the environment variable that overrides
// max_source_side.
constexpr const char* kSettingsFileName = "vantreo.ini";
constexpr std::size_t kMaxSettingsFileBytes = 64 * 1024;
constexpr const char* kMaxSourceSideVariable = "VANTREO_MAX_SOURCE_SIDE";

// Applies the lines of `text`, read from `file_name`, to `settings`; each malformed line, unknown key or
// value out of range changes nothing and adds one line to `problems`, naming the file and line.
void apply_settings_text(const std::string& text, const std::string& file_name, PluginSettings& settings,
                         std::string& problems);

// Applies a value of max_source_side from the environment variable's text, when set; a bad one keeps
// what `settings` had and adds one line to `problems`.
void apply_settings_environment(const char* max_source_side, PluginSettings& settings, std::string& problems);

// The folder (with its trailing separator) of the module this code is linked into: the plug-in when
// loaded as one, else the program. Empty when it cannot be found.
std::string plugin_folder();

// The settings from the file in `folder` (none when empty) and the environment; each problem adds
// one line to `problems`.
PluginSettings read_plugin_settings(const std::string& folder, std::string& problems);

// The same, with the problems reported on stderr.
PluginSettings load_plugin_settings(const std::string& folder);

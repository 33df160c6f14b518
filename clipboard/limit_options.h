#pragma once

#include <string>
#include <utility>
#include <vector>

#include "clipboard/contract/clipboard_limits.h"

namespace quirlomat {

// What the command line asks of the program. Parsing fails closed: a bad value, a repeated or
// an unknown option sets error (German, naming the option and the value), and the program
// then ends with kUsageError without touching the clipboard.
struct CommandLine {
    bool help = false;
    bool version = false;
    ClipboardLimits limits;  // 0 where the command line sets no limit
    std::string error;
};

// GNU's exit status for a usage error.
inline constexpr int kUsageError = 2;

CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The settings file's entries as the file reader found them: key and value, in the file's
// order. A value that is not one text (a list, for instance) comes as its entries joined by
// ", ", which is no number.
using SettingsEntries = std::vector<std::pair<std::string, std::string>>;

// The limits the settings file at path sets; error set (German, naming the file, the key and
// the value) for an unknown key or a bad value.
struct SettingsLimits {
    ClipboardLimits limits;
    std::string error;
};
SettingsLimits LimitsFromSettings(const std::string& path, const SettingsEntries& entries);

// The command line wins over the file, limit by limit.
ClipboardLimits MergeLimits(const ClipboardLimits& commandLine, const ClipboardLimits& file);

// The text --help prints, naming the settings file at settingsPath.
std::string UsageText(const std::string& settingsPath);

}  // namespace quirlomat

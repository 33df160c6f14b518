#pragma once

#include <string>

#include "clipboard/limit_options.h"

namespace quirlomat {

// The user's settings file, read through QSettings in its usual place (on Linux and the BSDs
// $XDG_CONFIG_HOME/quirlomat/quirlomat.conf, on Windows the registry). The program writes
// nothing there: the file is the user's. A file that is missing sets no limit; one that
// exists but cannot be read, or does not parse, is an error, never an empty file.
struct SettingsFile {
    std::string path;  // where QSettings looks, for messages and --help
    SettingsLimits read;
};

SettingsFile ReadSettingsFile();

// Where the file is looked for, without reading it.
std::string SettingsFilePath();

}  // namespace quirlomat

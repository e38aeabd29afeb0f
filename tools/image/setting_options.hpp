// The settings of a launcher as command-line options, the same for
// tarvek-link-launcher and the image check of the tests.
#pragma once

#include <CLI/CLI.hpp>

#include "image/launcher_settings.hpp"

namespace tarvek {

// Adds --company, --product, --app-version, --internal-name, --description
// and --icon (once per image) to `app`, in the option group `group`; they
// fill `settings` as they are parsed. A version that is not one to four
// numbers of at most 65535 throws tool_error.
void add_setting_options(CLI::App &app, launcher_settings &settings, const char *group);

} // namespace tarvek

// The check of an application's main library before it is packed: the
// launcher's child loads it into a 64-bit process and calls its export
// run_code, so it must be a PE32+ x86-64 DLL that exports that name.
#pragma once

#include <filesystem>
#include <span>
#include <string>

namespace tarvek {

inline constexpr const char *entry_point_name = "run_code";

// Throws tool_error, naming `shown` and the rule, unless `bytes` are such a
// library.
void check_main_library(std::span<const uint8_t> bytes, const std::string &shown);

// The same for a file.
void check_main_library_file(const std::filesystem::path &path);

} // namespace tarvek

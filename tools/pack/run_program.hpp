// The program that a launcher packed with --run starts: its entry name, its
// check, and how a built launcher tells which program it runs (the adapter
// library's export, image/adapter_link.hpp).
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace tarvek {

// The entry name of the program given as `given` (relative to the
// application folder `application`, '/' or '\' between folders): its
// components joined by backslashes, "." dropped and ".." taken back. Throws
// tool_error for an absolute path, a path that leads out of the folder, or
// one that names no file.
std::u16string run_program_name(const std::string &given, const std::filesystem::path &application);

// Throws tool_error, naming `shown` and the rule, unless `bytes` are a
// 64-bit Windows program: PE32+, x86-64, no library, a windowed or console
// subsystem.
void check_run_program(std::span<const uint8_t> bytes, const std::string &shown);
void check_run_program_file(const std::filesystem::path &path, const std::string &shown);

// The program that the main library `bytes` runs, as its export
// tarvek_run_program names it; nullopt for a main library of the
// application's own. Throws tool_error when the export is there but its
// text is not (damage).
std::optional<std::u16string> program_run_by(std::span<const uint8_t> bytes, const std::string &shown);

} // namespace tarvek

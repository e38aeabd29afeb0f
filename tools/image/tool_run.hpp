// Running the Debian-packaged tools of the link (lld-link, llvm-rc).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tarvek {

// Runs arguments[0], found on PATH, with the arguments, in `directory`. Its
// output and errors go to this process's. Throws tool_error when it cannot
// be started (naming the Debian package that brings it, when it is not
// there) or does not exit with 0 (then with `failure_hint` added).
void run_tool(const std::vector<std::string> &arguments, const std::filesystem::path &directory,
              const std::string &failure_hint = "");

} // namespace tarvek

// Command lines of the host tools, on CLI11: the help text (the usage line
// first, then the description and the option groups, wrapped to 79
// columns), number checks, and the frame of every tool's main: exit status
// 0, 1 for a tool_error, 2 for a command line that is not understood, 128
// + the signal when interrupted.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <string>

namespace tarvek {

// Replaces the option library's generated usage line by `usage` (which may
// span lines).
void set_usage(CLI::App &app, std::string usage);

// A number option's check: `low`..`high`, and `why` in the error.
template <typename T> CLI::Validator number_in(T low, T high, std::string why = "")
{
    return CLI::Validator(
        [low, high, why](std::string &text) -> std::string {
            T value{};
            if (!CLI::detail::lexical_cast(text, value) || value < low || value > high)
                return "wants " + std::to_string(low) + ".." + std::to_string(high) + (why.empty() ? "" : ": " + why) +
                       ", not '" + text + "'";
            return "";
        },
        "");
}

// A command line that is not understood.
struct usage_error {
    std::string message;
};

// The main of a tool named `name`: parses the command line with `app`
// (-h or --help anywhere prints the help and ends with 0), then runs `body`, whose
// result is the exit status. What either throws ends the tool with one
// line on standard error, "NAME: MESSAGE": a usage_error or what the
// option library refuses (with the closest option for one it does not
// know, and a hint at --help) with 2, a tool_error with 1, an
// interrupted_error with 128 + its signal.
int tool_main(const char *name, CLI::App &app, int argc, char **argv, const std::function<int()> &body);

} // namespace tarvek

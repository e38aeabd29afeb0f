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

// A number option's check: `low`..`high`. A value out of range is told
// the bound it passed, with that bound's reason (`why_low`, `why_high`)
// when there is one.
template <typename T>
CLI::Validator number_in(T low, T high, std::string why_low = "", std::string why_high = "")
{
    return CLI::Validator(
        [low, high, why_low, why_high](std::string &text) -> std::string {
            T value{};
            const std::string given = ", not '" + text + "'";
            if (!CLI::detail::lexical_cast(text, value))
                return "wants a number from " + std::to_string(low) + " to " + std::to_string(high) + given;
            if (value < low)
                return "wants at least " + std::to_string(low) + (why_low.empty() ? "" : ", " + why_low) + given;
            if (value > high)
                return "wants at most " + std::to_string(high) + (why_high.empty() ? "" : ", " + why_high) + given;
            return "";
        },
        "");
}

// A command line that is not understood.
struct usage_error {
    std::string message;
};

// The project's version (VERSION at the source root), which every tool
// prints for --version.
const char *project_version();

// The main of a tool named `name`: parses the command line with `app`
// (-h or --help anywhere prints the help and ends with 0; so does --version,
// printing "NAME VERSION", unless a value follows it: that is the
// application's version of older command lines, a usage error that names
// --app-version where the tool has it), then runs `body`, whose result is
// the exit status. What either throws ends the tool with one
// line on standard error, "NAME: MESSAGE": a usage_error or what the
// option library refuses (with the closest option for one it does not
// know, and a hint at --help) with 2, a tool_error with 1, an
// interrupted_error with 128 + its signal.
int tool_main(const char *name, CLI::App &app, int argc, char **argv, const std::function<int()> &body);

} // namespace tarvek

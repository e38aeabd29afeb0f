// Scenarios: named pieces of code that a test runs in a child process of the
// test program, so that exits, aborts and exact output on the standard
// streams can be checked from outside.
//
//   TARVEK_SCENARIO(fatal_message_text) { fatal_message("Error, x."); }
//
//   auto r = run_scenario("fatal_message_text");
//   EXPECT_EQ(r.exit_code, 2u);
#pragma once

#include <string>
#include <vector>

#include "tests/support/process.hpp"

using scenario_function = int (*)(const std::vector<std::wstring> &arguments);

struct scenario_registration {
    scenario_registration(const char *name, scenario_function function);
};

#define TARVEK_SCENARIO(name)                                                                    \
    static int scenario_##name(const std::vector<std::wstring> &arguments);                      \
    static scenario_registration scenario_registration_##name(#name, scenario_##name);           \
    static int scenario_##name([[maybe_unused]] const std::vector<std::wstring> &arguments)

// Runs this test program again with "--scenario NAME ARGUMENTS...".
process_result run_scenario(const char *name, const std::vector<std::wstring> &arguments = {},
                            const process_options &options = {});

// Runs the named scenario in this process when argv asks for one; returns
// false when it does not.
bool dispatch_scenario(int argc, wchar_t **argv, int *exit_code);

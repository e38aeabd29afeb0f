// The parent's target directory: made by this run and by nothing else.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "launcher/launcher_state.hpp"
#include "launcher/role.hpp"
#include "launcher/target_directory.hpp"
#include "paths/run_identity.hpp"
#include "tests/support/scenario.hpp"

namespace {

std::wstring variable(const wchar_t *name)
{
    wchar_t value[256] = {};
    GetEnvironmentVariableW(name, value, 256);
    return value;
}

// A parent whose RANDOM draw lands on the name of a folder that someone else
// made, with a library in it: prints the target directory it ends up with.
TARVEK_SCENARIO(draw_lands_on_an_existing_folder)
{
    become_parent();
    SetEnvironmentVariableW(L"TARVEK_ONEFILE_TIME_US", L"123456");
    SetEnvironmentVariableW(L"TARVEK_ONEFILE_RANDOM", L"AAAAAAAAAAA");
    expand_target_directory();
    std::wstring taken = target_directory;
    if (!CreateDirectoryW(taken.c_str(), nullptr))
        return 3;
    write_file(taken + L"\\main.dll", "someone else's");
    create_target_directory();
    printf("%ls\n%ls\n%ls", taken.c_str(), target_directory, variable(L"TARVEK_ONEFILE_RANDOM").c_str());
    return 0;
}

TEST(TargetDirectory, AFolderOfTheRunsNameIsNeverUsed)
{
    std::wstring temp = make_temp_directory(L"target");
    process_options options;
    options.environment = {{L"TEMP", temp}, {L"TMP", temp}};
    process_result r = run_scenario("draw_lands_on_an_existing_folder", {}, options);
    ASSERT_EQ(0u, r.exit_code) << r.out << r.err;
    std::vector<std::string> lines = split_lines(r.out);
    ASSERT_EQ(3u, lines.size()) << r.out;
    for (std::string &line : lines)
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
    std::wstring taken = widen(lines[0]), made = widen(lines[1]), random = widen(lines[2]);
    EXPECT_NE(taken, made);
    EXPECT_EQ(temp, made.substr(0, made.rfind(L'\\')));
    EXPECT_EQ(made.size(), taken.size()) << "only RANDOM differs";
    EXPECT_TRUE(is_random_token(random.c_str()));
    EXPECT_NE(std::wstring::npos, made.find(random));
    EXPECT_EQ("someone else's", read_file(taken + L"\\main.dll"));
    EXPECT_TRUE(path_exists(made)) << "made new";
    remove_tree(temp);
}

TARVEK_SCENARIO(create_under)
{
    become_parent();
    SetEnvironmentVariableW(L"TEMP", arguments.at(0).c_str());
    SetEnvironmentVariableW(L"TMP", arguments.at(0).c_str());
    expand_target_directory();
    create_target_directory();
    return 0;
}

// A TEMP that names a file: no folder can be made below it.
TEST(TargetDirectory, NoNewFolderEndsTheRunWithItsError)
{
    std::wstring temp = make_temp_directory(L"target");
    write_file(temp + L"\\a file", "TEMP names this file");
    process_result r = run_scenario("create_under", {temp + L"\\a file"});
    EXPECT_EQ(2u, r.exit_code);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(0u, r.err.rfind("Error, couldn't create target directory. ([Error ", 0)) << r.err;
    EXPECT_EQ("TEMP names this file", read_file(temp + L"\\a file"));
    remove_tree(temp);
}

} // namespace

// The directory cache and the creation of parent directories, each run in a
// process of its own so that the cache starts empty.
#include <gtest/gtest.h>
#include <stdio.h>
#include <windows.h>

#include <string>
#include <vector>

#include "paths/path_template.hpp"
#include "paths/text.hpp"
#include "payload/directory_cache.hpp"
#include "payload/parent_directories.hpp"
#include "tests/payload/payload_test_support.hpp"
#include "tests/support/scenario.hpp"

namespace {

// Runs operations given as pairs of arguments and prints what they returned,
// then the cache:
//   create PATH        create_directory_cached, prints "create 1" or "create 0"
//   ensure PATH        ensure_parent_directories
//   remove PATH        RemoveDirectoryW, behind the cache's back
//   create_many BASE   create_directory_cached for BASE\0 .. BASE\1099
TARVEK_SCENARIO(directories)
{
    for (size_t i = 0; i + 1 < arguments.size(); i += 2) {
        const std::wstring &operation = arguments[i];
        const wchar_t *path = arguments[i + 1].c_str();
        if (operation == L"create") {
            printf("create %d\n", create_directory_cached(path) ? 1 : 0);
        } else if (operation == L"ensure") {
            ensure_parent_directories(path);
        } else if (operation == L"remove") {
            RemoveDirectoryW(path);
        } else if (operation == L"create_many") {
            int made = 0;
            for (int k = 0; k < 1100; ++k)
                made += create_directory_cached((arguments[i + 1] + L"\\" + std::to_wstring(k)).c_str());
            printf("made %d\n", made);
        }
    }
    printf("cache %d\n", static_cast<int>(directory_cache_count));
    for (int32_t i = 0; i < directory_cache_count; ++i)
        printf("%ls\n", directory_cache[i]);
    return 0;
}

std::wstring home()
{
    wide_path expanded;
    EXPECT_TRUE(expand_path_template(expanded, L"{HOME}"));
    return expanded;
}

// The expected output: result lines, then the cache after "{HOME}".
std::string expected(const std::vector<std::string> &results, const std::vector<std::wstring> &cached)
{
    std::string out;
    for (const std::string &line : results)
        out += printed(line.c_str());
    out += "cache " + std::to_string(cached.size() + 1) + line_end + narrow(home()) + line_end;
    for (const std::wstring &path : cached)
        out += narrow(path) + line_end;
    return out;
}

TEST(DirectoryCache, SeededFromHomeOnTheFirstRequest)
{
    scratch_folder scratch;
    const std::wstring made = scratch.path + L"\\made";
    process_result r = run_scenario("directories", {L"create", made});
    EXPECT_EQ(expected({"create 1"}, {made}), r.out);
    EXPECT_TRUE(path_exists(made));

    // "{HOME}" itself is found in the cache, not added again.
    r = run_scenario("directories", {L"create", home()});
    EXPECT_EQ(expected({"create 1"}, {}), r.out);
}

TEST(DirectoryCache, RemembersWhatItMadeOrFound)
{
    scratch_folder scratch;
    const std::wstring made = scratch.path + L"\\made";
    const std::wstring file = scratch.path + L"\\file";
    write_file(file, "x");
    // A remembered folder is not asked for again: removed behind the
    // cache's back, it stays removed. A file in its place counts as present.
    process_result r = run_scenario("directories", {L"create", made, L"remove", made, L"create", made,
                                                    L"create", scratch.path, L"create", file});
    EXPECT_EQ(expected({"create 1", "create 1", "create 1", "create 1"}, {made, scratch.path, file}), r.out);
    EXPECT_FALSE(path_exists(made));
}

TEST(DirectoryCache, MatchesExactUnitsOnly)
{
    scratch_folder scratch;
    const std::wstring made = scratch.path + L"\\Made";
    const std::wstring other_case = scratch.path + L"\\MADE";
    process_result r = run_scenario("directories", {L"create", made, L"create", other_case});
    EXPECT_EQ(expected({"create 1", "create 1"}, {made, other_case}), r.out);
}

TEST(DirectoryCache, DrivesAndFailuresAreNotRemembered)
{
    scratch_folder scratch;
    const std::wstring missing = scratch.path + L"\\missing\\deeper";
    process_result r = run_scenario("directories", {L"create", L"C:", L"create", L"Q:", L"create", missing});
    EXPECT_EQ(expected({"create 1", "create 1", "create 0"}, {}), r.out);
    EXPECT_FALSE(path_exists(scratch.path + L"\\missing"));
}

TEST(DirectoryCache, FullCacheStillCreates)
{
    // 1023 places after "{HOME}": folders 0..1022 are remembered, 1023 and
    // later are made but not remembered, so a removed one is made again.
    scratch_folder scratch;
    const std::wstring late = scratch.path + L"\\1050";
    process_result r = run_scenario("directories", {L"create_many", scratch.path, L"remove", late, L"create", late});
    std::vector<std::wstring> cached;
    for (int k = 0; k < 1023; ++k)
        cached.push_back(scratch.path + L"\\" + std::to_wstring(k));
    EXPECT_EQ(expected({"made 1100", "create 1"}, cached), r.out);
    EXPECT_TRUE(path_exists(late));
    EXPECT_TRUE(path_exists(scratch.path + L"\\1099"));
}

TEST(ParentDirectories, LevelsAreMadeFromTheTopDownAfterTheDeepestFails)
{
    scratch_folder scratch;
    const std::wstring a = scratch.path + L"\\a";
    process_result r = run_scenario("directories", {L"ensure", a + L"\\b\\c\\file.txt"});
    // The cache shows the order in which the levels were made.
    EXPECT_EQ(expected({}, {a, a + L"\\b", a + L"\\b\\c"}), r.out);
    EXPECT_TRUE(path_exists(a + L"\\b\\c"));
}

TEST(ParentDirectories, NoSeparatorNoDriveNoRequest)
{
    // Without a backslash at index 1 or later there is nothing to make: the
    // cache is not even seeded. A drive is taken as present.
    process_result r = run_scenario("directories", {L"ensure", L"", L"ensure", L"file.txt", L"ensure", L"\\file.txt"});
    EXPECT_EQ(printed("cache 0"), r.out);
    r = run_scenario("directories", {L"ensure", L"Q:\\file.txt"});
    EXPECT_EQ(expected({}, {}), r.out);
}

} // namespace

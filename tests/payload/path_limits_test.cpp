// Entry paths at the limit of the 4096-unit path buffer. Wine turns Z:\...
// into $WINEPREFIX/dosdevices/z:/..., 41 bytes longer than the Windows path,
// and Linux takes at most 4095 bytes: the target directory is therefore
// reached as \\?\unix\..., which maps onto the Unix path unit for byte.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/payload/payload_test_support.hpp"

namespace {

// The fixture's long record: 1000 units, a path of four folders.
constexpr size_t long_name_units = 1000;

// A target directory of exactly `units` units below this test's scratch
// folder, made of components short enough for Linux.
std::wstring target_of_length(const std::wstring &base, size_t units)
{
    std::wstring target = base;
    while (target.size() < units) {
        // Never leave a single unit over: it could only be a lone backslash.
        size_t room = units - target.size() - 1;
        size_t take = room <= 200 ? room : room == 201 ? 199 : 200;
        target += L"\\" + std::wstring(take, L't');
    }
    EXPECT_EQ(units, target.size());
    return target;
}

std::wstring long_entry_path(const std::wstring &target)
{
    return target + L"\\" + parse_stream(fixture_stream("path_limit")).at(1).name;
}

TEST(EntryPathLimit, PathOf4095UnitsIsWritten)
{
    scratch_folder scratch(unix_mapped_test_dir() + L"\\scratch-" + std::to_wstring(GetCurrentProcessId()));
    const std::wstring target = target_of_length(scratch.path, 4095 - 1 - long_name_units);
    const std::wstring path = long_entry_path(target);
    ASSERT_EQ(4095u, path.size());
    process_result r = extract("path_limit", target);
    EXPECT_EQ(0u, r.exit_code) << r.err;
    EXPECT_EQ(0u, r.out.rfind("found " + narrow(target) + "\\main.dll", 0));
    EXPECT_EQ("at the limit", read_file(path));
}

TEST(EntryPathLimit, PathOf4096UnitsEndsTheProcessBeforeTheOpen)
{
    scratch_folder scratch(unix_mapped_test_dir() + L"\\scratch-" + std::to_wstring(GetCurrentProcessId()));
    const std::wstring target = target_of_length(scratch.path, 4096 - 1 - long_name_units);
    process_result r = extract("path_limit", target);
    EXPECT_TRUE(is_abort_exit(r.exit_code)) << r.exit_code;
    EXPECT_EQ("", r.out);
    EXPECT_EQ("", r.err);
    // main.dll is written; of the long record not even its first folder.
    EXPECT_TRUE(path_exists(target + L"\\main.dll"));
    EXPECT_FALSE(path_exists(target + L"\\" + std::wstring(200, L'n')));
}

} // namespace

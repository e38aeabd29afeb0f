// Final paths, prefixes and short directory names: what makes two spellings
// of one executable's path compare equal, and the buffer limits on the way.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "paths/path_normalisation.hpp"
#include "tests/support/process.hpp"
#include "tests/support/scenario.hpp"

namespace {

constexpr size_t image_capacity = 4097;
using image_buffer = wchar_t[image_capacity + 1];

std::wstring resolved(const std::wstring &path, bool resolve = true)
{
    image_buffer buffer = {};
    resolve_final_path(buffer, path.c_str(), resolve);
    return buffer;
}

std::wstring shortened(const std::wstring &path)
{
    image_buffer buffer = {};
    copy_wide(buffer, path.c_str());
    shorten_directory(buffer);
    return buffer;
}

// As the role decision does it: both steps in place, input and output
// being the same buffer.
std::wstring normalised(const std::wstring &path)
{
    image_buffer buffer = {};
    copy_wide(buffer, path.c_str());
    resolve_final_path(buffer, buffer, image_capacity, true);
    shorten_directory(buffer, image_capacity);
    return buffer;
}

std::wstring short_form(const std::wstring &path)
{
    wchar_t buffer[4096] = {};
    DWORD length = GetShortPathNameW(path.c_str(), buffer, 4096);
    return length == 0 || length >= 4096 ? std::wstring() : std::wstring(buffer);
}

std::wstring to_upper(std::wstring text)
{
    for (wchar_t &c : text)
        c = towupper(c);
    return text;
}

// base\Long Directory Name\A Long File Name.exe and base\a b. The names
// have 8.3 aliases: the first is long, "a b" is shorter than its alias.
class Normalisation : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        base = make_temp_directory(L"normalisation");
        ASSERT_FALSE(base.empty());
        long_directory = base + L"\\Long Directory Name";
        long_file = long_directory + L"\\A Long File Name.exe";
        ASSERT_TRUE(CreateDirectoryW(long_directory.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW((base + L"\\a b").c_str(), nullptr));
        write_file(long_file, "x");
    }

    static void TearDownTestSuite() { remove_tree(base); }

    inline static std::wstring base, long_directory, long_file;
};

TEST_F(Normalisation, MissingFilesAndUnresolvedPathsPassUnchanged)
{
    std::wstring missing = base + L"\\No Such Directory\\missing.exe";
    EXPECT_EQ(missing, resolved(missing));
    // Not opened, so the prefix stays.
    EXPECT_EQ(L"\\\\?\\" + missing, resolved(L"\\\\?\\" + missing));
    // Without resolve nothing is opened or stripped.
    EXPECT_EQ(L"\\\\?\\" + long_file, resolved(L"\\\\?\\" + long_file, false));
    EXPECT_EQ(to_upper(long_file), resolved(to_upper(long_file), false));
    image_buffer same = L"\\\\?\\C:\\x";
    resolve_final_path(same, same, capacity_of(same), false);
    EXPECT_STREQ(L"\\\\?\\C:\\x", same);
    // Directories are not opened either.
    EXPECT_EQ(long_directory, resolved(long_directory));
}

TEST(FinalPathPrefix, NetworkVolumeAndUnrecognisedForms)
{
    struct {
        const wchar_t *final_path, *input, *expected;
    } cases[] = {
        {L"\\\\?\\UNC\\server\\share\\app.exe", L"\\\\server\\share\\app.exe",
         L"\\\\server\\share\\app.exe"},
        {L"\\\\?\\D:\\app.exe", L"x", L"D:\\app.exe"},
        {L"\\\\?\\D:", L"x", L"D:"},
        {L"\\\\?\\Volume{0b1d2e3f-0000-0000-0000-100000000000}\\app.exe", L"x",
         L"\\\\?\\Volume{0b1d2e3f-0000-0000-0000-100000000000}\\app.exe"},
        // "\\?\" and exactly the input: the input again.
        {L"\\\\?\\relative\\app.exe", L"relative\\app.exe", L"relative\\app.exe"},
        {L"\\\\?\\relative\\app.exe", L"Relative\\app.exe", L"\\\\?\\relative\\app.exe"},
        // The prefixes are compared case-sensitively.
        {L"\\\\?\\unc\\server\\share", L"x", L"\\\\?\\unc\\server\\share"},
        {L"\\\\?\\", L"x", L"\\\\?\\"},
        {L"\\\\?\\D", L"x", L"\\\\?\\D"},
        {L"D:\\app.exe", L"x", L"D:\\app.exe"},
    };
    for (const auto &c : cases) {
        wchar_t path[128] = {};
        copy_wide(path, c.final_path);
        strip_final_path_prefix(path, c.input);
        EXPECT_STREQ(c.expected, path) << "final path " << narrow(c.final_path);
    }
}

TEST_F(Normalisation, DirectoryIsShortenedAndTheFileNameKept)
{
    std::wstring short_directory = short_form(long_directory);
    ASSERT_NE(L"", short_directory);
    ASSERT_NE(long_directory, short_directory) << "no 8.3 alias for a long directory name";
    // The file has an alias too, and keeps its long name.
    ASSERT_NE(L"", short_form(long_file));
    EXPECT_NE(short_directory + L"\\A Long File Name.exe", short_form(long_file));
    EXPECT_EQ(short_directory + L"\\A Long File Name.exe", shortened(long_file));
    // A missing file in an existing directory.
    EXPECT_EQ(short_directory + L"\\missing.exe", shortened(long_directory + L"\\missing.exe"));
    // Ending in a backslash: the empty last component stays.
    EXPECT_EQ(short_directory + L"\\", shortened(long_directory + L"\\"));
    // A missing directory is kept as it is.
    std::wstring missing = base + L"\\No Such Directory\\missing.exe";
    EXPECT_EQ(missing, shortened(missing));
    // A drive-relative directory part ("C:") and an empty one.
    EXPECT_EQ(L"C:\\app.exe", shortened(L"C:\\app.exe"));
    EXPECT_EQ(L"\\app.exe", shortened(L"\\app.exe"));
    EXPECT_EQ(L"", shortened(L""));
}

TEST_F(Normalisation, PathWithoutBackslashIsShortenedAsAWhole)
{
    wchar_t previous[4096];
    ASSERT_NE(0u, GetCurrentDirectoryW(4096, previous));
    ASSERT_TRUE(SetCurrentDirectoryW(base.c_str()));
    std::wstring whole = shortened(L"Long Directory Name");
    std::wstring missing = shortened(L"no such file.exe");
    SetCurrentDirectoryW(previous);
    std::wstring expected = short_form(long_directory);
    EXPECT_EQ(expected.substr(expected.rfind(L'\\') + 1), whole);
    EXPECT_EQ(L"no such file.exe", missing);
}

TEST_F(Normalisation, SpellingsOfOneFileBecomeEqual)
{
    std::wstring short_directory = short_form(long_directory);
    std::wstring canonical = short_directory + L"\\A Long File Name.exe";
    EXPECT_EQ(long_file, resolved(long_file));
    EXPECT_EQ(canonical, normalised(long_file));
    ASSERT_NE(long_file, short_form(long_file));
    for (const std::wstring &spelling :
         {short_form(long_file), canonical, to_upper(long_file), L"\\\\?\\" + long_file,
          base + L"\\.\\Long Directory Name\\A Long File Name.exe"}) {
        EXPECT_EQ(long_file, resolved(spelling)) << narrow(spelling);
        EXPECT_EQ(canonical, normalised(spelling)) << narrow(spelling);
    }
    // Not opened: letter case is not brought into the stored form.
    std::wstring missing = base + L"\\No Such Directory\\missing.exe";
    EXPECT_NE(normalised(missing), normalised(to_upper(missing)));
}

// The build made these with Unix symbolic links, which Wine follows: the
// build directory seen through the build drive, holding "Long Directory
// Name\A Long File Name.exe", "directory link" to that directory and
// "file link.exe" to the file.
TEST(SymbolicLinks, ResolveToTheTarget)
{
    std::wstring links = widen(TARVEK_NORMALISATION_LINKS);
    std::wstring file = links + L"\\Long Directory Name\\A Long File Name.exe";
    std::wstring through_directory = links + L"\\directory link\\A Long File Name.exe";
    std::wstring file_link = links + L"\\file link.exe";
    ASSERT_TRUE(path_exists(file)) << narrow(file);
    ASSERT_TRUE(path_exists(through_directory)) << "no symbolic links here";

    std::wstring canonical = normalised(file);
    // The link's name has an alias of its own; resolving replaces it.
    ASSERT_NE(file_link, short_form(file_link));
    for (const std::wstring &spelling : {through_directory, file_link, short_form(file_link),
                                          short_form(through_directory)}) {
        EXPECT_EQ(file, resolved(spelling)) << narrow(spelling);
        EXPECT_EQ(canonical, normalised(spelling)) << narrow(spelling);
    }
}

// Capacity boundaries. Each scenario gets a path and a capacity; exact fits
// return 0, one unit less must abort.
size_t capacity_argument(const std::vector<std::wstring> &arguments)
{
    return std::stoul(arguments.at(1));
}

TARVEK_SCENARIO(resolve_with_capacity)
{
    std::wstring input = arguments.at(0);
    std::vector<wchar_t> buffer(capacity_argument(arguments) + 1, L'\0');
    resolve_final_path(buffer.data(), input.c_str(), capacity_argument(arguments),
                       arguments.at(2) == L"resolve");
    return std::wstring(buffer.data()) == arguments.at(3) ? 0 : 1;
}

TARVEK_SCENARIO(shorten_with_capacity)
{
    std::vector<wchar_t> buffer(capacity_argument(arguments) + 1, L'\0');
    append_wide(buffer.data(), capacity_argument(arguments), arguments.at(0).c_str());
    shorten_directory(buffer.data(), capacity_argument(arguments));
    return std::wstring(buffer.data()) == arguments.at(2) ? 0 : 1;
}

void expect_exact_fit(const char *scenario, std::vector<std::wstring> arguments, size_t fit)
{
    arguments.insert(arguments.begin() + 1, std::to_wstring(fit));
    EXPECT_EQ(0u, run_scenario(scenario, arguments).exit_code) << scenario << " fit " << fit;
    arguments.at(1) = std::to_wstring(fit - 1);
    uint32_t code = run_scenario(scenario, arguments).exit_code;
    EXPECT_TRUE(is_abort_exit(code)) << scenario << " one over " << fit << ": " << code;
}

TEST_F(Normalisation, FinalPathMustFitTheCapacity)
{
    // The final path carries the 4-unit prefix while it is written, so it
    // needs more room than the input or the result.
    std::wstring input = to_upper(long_file);
    expect_exact_fit("resolve_with_capacity", {input, L"resolve", long_file},
                     long_file.size() + 4);
    // A plain copy needs exactly the input's length.
    expect_exact_fit("resolve_with_capacity", {input, L"copy", input}, input.size());
    std::wstring missing = base + L"\\No Such Directory\\missing.exe";
    expect_exact_fit("resolve_with_capacity", {missing, L"resolve", missing}, missing.size());
}

TEST_F(Normalisation, ShortDirectoryMustFitTheCapacity)
{
    // "a b" has the longer alias, so below an already short base the result
    // outgrows the path given.
    std::wstring spaced = short_form(base) + L"\\a b";
    std::wstring short_directory = short_form(spaced);
    ASSERT_GT(short_directory.size(), spaced.size());
    std::wstring expected = short_directory + L"\\f.exe";
    expect_exact_fit("shorten_with_capacity", {spaced + L"\\f.exe", expected}, expected.size());
    // Ending in a backslash: the short directory alone fills the capacity
    // one under the fit, and the backslash is what aborts.
    std::wstring trailing = short_directory + L"\\";
    expect_exact_fit("shorten_with_capacity", {spaced + L"\\", trailing}, trailing.size());
}

} // namespace

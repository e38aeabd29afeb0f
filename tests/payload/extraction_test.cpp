// The entry loop over fixture payloads, checked on disk byte for byte: what
// is written, what is refused, and what a failure leaves behind.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "paths/path_template.hpp"
#include "paths/text.hpp"
#include "tests/payload/payload_test_support.hpp"

namespace {

std::string open_failure(const std::wstring &path)
{
    return "Error, failed to open '" + narrow(path) + "' for writing." + line_end;
}

struct well_formed_case {
    const char *fixture;
    int remembered; // directories in the cache afterwards, "{HOME}" included
};

TEST(PayloadExtraction, WellFormedFixturesArriveByteForByte)
{
    const well_formed_case cases[] = {
        {"mixed", 5},           {"window_27", 3},      {"checksum_good", 3}, {"filled_buffer", 2},
        {"skippable_frame", 3}, {"large_content", 2},  {"zero_sizes", 3},    {"duplicate_names", 2},
        {"three_deep", 5},      {"name_1023", 7},
    };
    for (const well_formed_case &c : cases) {
        SCOPED_TRACE(c.fixture);
        scratch_folder scratch;
        const std::wstring target = scratch.path + L"\\target";
        process_result r = extract(c.fixture, target);
        EXPECT_EQ(0u, r.exit_code);
        EXPECT_EQ(found_main_library(target, c.remembered), r.out);
        EXPECT_EQ("", r.err);
        EXPECT_TRUE(expected_files(fixture_stream(c.fixture)) == files_below(target));
    }
}

TEST(PayloadExtraction, DepthOfFoldersCostsNoStack)
{
    // 300 folders that do not exist yet: a 4096-unit copy of the path per
    // level would take 2.4 MB, more than the 1 MB of stack a program gets.
    scratch_folder scratch;
    process_result r = extract("deep_nesting", scratch.path);
    EXPECT_EQ(0u, r.exit_code);
    EXPECT_EQ(found_main_library(scratch.path, 302), r.out);
    EXPECT_TRUE(expected_files(fixture_stream("deep_nesting")) == files_below(scratch.path));
}

TEST(PayloadExtraction, ExistingFilesAreReplacedAndTruncated)
{
    scratch_folder scratch;
    const std::wstring target = scratch.path + L"\\target";
    CreateDirectoryW(target.c_str(), nullptr);
    CreateDirectoryW((target + L"\\sub").c_str(), nullptr);
    const std::string old_content(100000, 'o');
    for (const wchar_t *name : {L"main.dll", L"a.txt", L"sub\\b.txt", L"c.txt"})
        write_file(target + L"\\" + name, old_content);
    ASSERT_EQ(0u, extract("zero_sizes", target).exit_code);
    EXPECT_TRUE(expected_files(fixture_stream("zero_sizes")) == files_below(target));
    EXPECT_EQ("", read_file(target + L"\\a.txt"));
    EXPECT_EQ("c", read_file(target + L"\\c.txt"));

    // A later record of the same name replaces a longer earlier one.
    ASSERT_EQ(0u, extract("duplicate_names", target).exit_code);
    EXPECT_EQ("second", read_file(target + L"\\twice.txt"));
}

TEST(PayloadExtraction, FullDirectoryCacheDoesNotStopExtraction)
{
    // 1100 folders below the target; the cache keeps "{HOME}", the target
    // and the first 1022 of them.
    scratch_folder scratch;
    const std::wstring target = scratch.path + L"\\target";
    process_result r = extract("many_directories", target);
    EXPECT_EQ(0u, r.exit_code);
    EXPECT_EQ(found_main_library(target, 1024), r.out);
    std::map<std::wstring, std::string> files = files_below(target);
    EXPECT_EQ(1101u, files.size());
    EXPECT_TRUE(expected_files(fixture_stream("many_directories")) == files);
}

TEST(PayloadExtraction, EndMarkerFirstMeansNoMainLibrary)
{
    scratch_folder scratch;
    const std::wstring target = scratch.path + L"\\target";
    process_result r = extract("end_marker_only", target);
    EXPECT_EQ(0u, r.exit_code);
    EXPECT_EQ(printed("none") + printed("remembered 0"), r.out);
    EXPECT_FALSE(path_exists(target));
}

TEST(PayloadExtraction, ForwardSlashesAreNoSeparators)
{
    scratch_folder scratch;
    process_result r = extract("forward_slashes", scratch.path);
    EXPECT_EQ(2u, r.exit_code);
    EXPECT_EQ(open_failure(scratch.path + L"\\fwd/sub/file.txt"), r.err);
    EXPECT_FALSE(path_exists(scratch.path + L"\\fwd"));

    // Folders that already exist are found through the slashes.
    CreateDirectoryW((scratch.path + L"\\fwd").c_str(), nullptr);
    CreateDirectoryW((scratch.path + L"\\fwd\\sub").c_str(), nullptr);
    r = extract("forward_slashes", scratch.path);
    EXPECT_EQ(0u, r.exit_code);
    EXPECT_EQ("forward", read_file(scratch.path + L"\\fwd\\sub\\file.txt"));
}

TEST(PayloadExtraction, FileInThePlaceOfAFolderFailsAtTheOpen)
{
    scratch_folder scratch;
    process_result r = extract("file_as_component", scratch.path);
    EXPECT_EQ(2u, r.exit_code);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(open_failure(scratch.path + L"\\blocker\\inner.txt"), r.err);
    std::map<std::wstring, std::string> files = files_below(scratch.path);
    EXPECT_EQ(2u, files.size());
    EXPECT_EQ("a file", files[L"blocker"]);
}

TEST(PayloadExtraction, NameLongerThan1023UnitsIsDamagedInput)
{
    scratch_folder scratch;
    process_result r = extract("name_1024", scratch.path);
    EXPECT_EQ(2u, r.exit_code);
    EXPECT_EQ(decode_failure, r.out);
    std::map<std::wstring, std::string> files = files_below(scratch.path);
    ASSERT_EQ(1u, files.size());
    EXPECT_EQ(parse_stream(fixture_stream("name_1024")).at(0).content, files[L"main.dll"]);
}

TEST(PayloadExtraction, FailuresLeaveWhatWasWritten)
{
    // A stream without its end marker keeps the records before the end.
    scratch_folder scratch;
    process_result r = extract("no_end_marker", scratch.path);
    EXPECT_EQ(2u, r.exit_code);
    EXPECT_EQ(decode_failure, r.out);
    EXPECT_TRUE(expected_files(fixture_stream("no_end_marker")) == files_below(scratch.path));

    // Refusals at the first decompressor call leave nothing at all.
    const std::pair<const char *, std::string> refused[] = {
        {"bad_magic_0", header_failure},
        {"bad_magic_2", header_failure},
        {"window_27_plus_2_24", decode_failure},
        {"checksum_bad", decode_failure},
    };
    for (const auto &[fixture, report] : refused) {
        SCOPED_TRACE(fixture);
        const std::wstring target = scratch.path + L"\\" + widen(fixture);
        r = extract(fixture, target);
        EXPECT_EQ(2u, r.exit_code);
        EXPECT_EQ(report, r.out);
        EXPECT_FALSE(path_exists(target));
    }
}

TEST(PayloadExtraction, EarlyEndMarkerFailsThePartAfterIt)
{
    // The parent writes main.dll, meets the end marker, finds more stream
    // and fails before anyone could start what it wrote; the child, which
    // reads only the first name, never sees the difference.
    scratch_folder scratch;
    const std::wstring target = scratch.path + L"\\target";
    process_result r = extract("early_end_marker", target);
    EXPECT_EQ(2u, r.exit_code);
    EXPECT_EQ(decode_failure, r.out);
    std::map<std::wstring, std::string> files = files_below(target);
    EXPECT_EQ(1u, files.size());
    EXPECT_EQ(0u, files.count(L"after.txt"));

    r = extract("early_end_marker", scratch.path + L"\\child", L"first");
    EXPECT_EQ(0u, r.exit_code);
    EXPECT_EQ(found_main_library(scratch.path + L"\\child", 0), r.out);
}

TEST(PayloadExtraction, ChildReadsOnlyTheFirstName)
{
    // Everything after the first name is damaged: the size, the records and,
    // beyond the first decompressor call, the frame itself.
    scratch_folder scratch;
    const std::wstring target = scratch.path + L"\\target";
    process_result r = extract("child_view", target, L"first");
    EXPECT_EQ(0u, r.exit_code);
    EXPECT_EQ(found_main_library(target, 0), r.out);
    EXPECT_FALSE(path_exists(target)) << "the child writes nothing";

    r = extract("child_view", target, L"all");
    EXPECT_EQ(2u, r.exit_code);
    EXPECT_EQ(decode_failure, r.out);
}

} // namespace

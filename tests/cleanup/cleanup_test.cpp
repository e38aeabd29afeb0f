// The clean-up's retry schedule and the console handler's choice of events,
// on real directories.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "launcher/cleanup.hpp"
#include "launcher/errors.hpp"
#include "launcher/launcher_state.hpp"
#include "payload/entry_file.hpp"
#include "payload/target_directory_lock.hpp"
#include "tests/cleanup/cleanup_test_support.hpp"
#include "tests/support/scenario.hpp"

namespace {

// Holds PATH open without sharing deletion for MS milliseconds; sets the
// named event EVENT once it holds it.
TARVEK_SCENARIO(hold_file)
{
    HANDLE file = CreateFileW(arguments.at(0).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    HANDLE held = OpenEventW(EVENT_MODIFY_STATE, FALSE, arguments.at(2).c_str());
    SetEvent(held);
    Sleep(std::stoul(arguments.at(1)));
    CloseHandle(file);
    return 0;
}

// A process of this program that holds `file` for `ms` milliseconds,
// started and holding it on return.
struct holder {
    started_process process;
    holder(const std::wstring &file, DWORD ms)
    {
        std::wstring name = L"tarvek-held-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(ms);
        HANDLE held = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
        process = start_scenario("hold_file", {file, std::to_wstring(ms), name});
        EXPECT_TRUE(process.started);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(held, 30000)) << "the holder never held the file";
        CloseHandle(held);
    }
    ~holder()
    {
        TerminateProcess(process.info.hProcess, 0);
        CloseHandle(process.info.hProcess);
        CloseHandle(process.info.hThread);
    }
};

TEST(Schedule, DirectoryGoneAfterTheFirstRequestCostsNoPause)
{
    aimed_target target(L"first", 30);
    onefile_cleanup();
    EXPECT_FALSE(exists(target.path));
    EXPECT_EQ(1u, deletion_requests_issued);
}

TEST(Schedule, TargetPathThatIsAFileGetsOneRequest)
{
    aimed_target target(L"file", 0);
    ASSERT_TRUE(make_file(target.path));
    holder hold(target.path, 60000);
    onefile_cleanup();
    EXPECT_EQ(1u, deletion_requests_issued);
    EXPECT_TRUE(exists(target.path)) << "held open, the file cannot have gone";
}

TEST(Schedule, NothingIsRemovedBeforeExtractionHasStarted)
{
    aimed_target target(L"before", 3, false);
    onefile_cleanup();
    EXPECT_TRUE(exists(target.path + L"\\d0\\f2.bin"));
    EXPECT_EQ(0u, deletion_requests_issued);
}

TEST(Schedule, FileHeldOpenLongerThanTheRetries)
{
    aimed_target target(L"held", 10);
    holder hold(target.path + L"\\d0\\f5.bin", 60000);
    stopwatch clock;
    onefile_cleanup();
    double ms = clock.elapsed_ms();
    EXPECT_EQ(21u, deletion_requests_issued);
    EXPECT_GE(ms, 20 * 100 - 50) << "20 pauses of 100 ms";
    EXPECT_TRUE(exists(target.path + L"\\d0\\f5.bin"));
    EXPECT_FALSE(exists(target.path + L"\\d0\\f4.bin")) << "the rest goes at the first request";
}

TEST(Schedule, FileReleasedAfterHalfASecond)
{
    aimed_target target(L"released", 10);
    holder hold(target.path + L"\\d0\\f5.bin", 500);
    onefile_cleanup();
    EXPECT_FALSE(exists(target.path));
    EXPECT_GT(deletion_requests_issued, 1u);
    EXPECT_LT(deletion_requests_issued, 21u);
}

// FOLDER HOW: the launcher's state aimed at FOLDER, extraction started,
// failure exits set to clean up as in the parent; then a failure: a fixed
// message, a write failure while the directory lock is held for writing (in
// the middle of an entry), or an abort.
TARVEK_SCENARIO(failure_exit)
{
    aim_cleanup_at(arguments.at(0), true);
    clean_up_on_failure_exits();
    const std::wstring &how = arguments.at(1);
    if (how == L"message")
        fatal_message("Error, couldn't decode attached data.");
    if (how == L"in-entry") {
        if (!lock_target_directory_for_writing())
            return 1;
        check_chunk_written(false, ERROR_DISK_FULL, 0, 32768);
    }
    abort();
}

TEST(FailureExits, RemoveTheTargetDirectoryWithTheSameMessageAndCode)
{
    for (const wchar_t *how : {L"message", L"in-entry", L"abort"}) {
        aimed_target target(how, 20);
        process_result r = run_scenario("failure_exit", {target.path, how});
        if (std::wstring(how) == L"abort") {
            EXPECT_TRUE(is_abort_exit(r.exit_code)) << r.exit_code;
        } else {
            EXPECT_EQ(2u, r.exit_code) << narrow(how);
        }
        if (std::wstring(how) == L"message")
            EXPECT_EQ("Error, couldn't decode attached data.\r\n", r.out);
        if (std::wstring(how) == L"in-entry")
            EXPECT_EQ(0u, r.err.rfind("Error, couldn't unpack file to target path. ([Error 112] ", 0)) << r.err;
        EXPECT_FALSE(exists(target.path)) << narrow(how);
    }
}

TEST(ConsoleHandler, EventsThatEndTheProcessCleanUpAndOthersDoNothing)
{
    work_folder work(L"events");
    for (DWORD event : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 0xFFFFFFFFu}) {
        bool ends = event <= 2 || event == 5 || event == 6;
        std::wstring target = work.path + L"\\onefile_" + std::to_wstring(event);
        make_bulk_tree(target, 2, 10);
        aim_cleanup_at(target, true);
        EXPECT_EQ(FALSE, console_ctrl_handler(event)) << event;
        EXPECT_EQ(ends ? 1u : 0u, deletion_requests_issued) << event;
        EXPECT_EQ(!ends, exists(target)) << event;
    }
}

TEST(LongPaths, LongTargetDirectoryWithEntriesAtTheLimit)
{
    work_folder work(L"long");
    size_t longest = longest_build_drive_path();
    std::wstring target = path_of_length(work.path, longest - 300);
    ASSERT_TRUE(make_file(path_of_length(target, longest)));
    ASSERT_TRUE(make_file(target + L"\\a\\b.txt"));
    aim_cleanup_at(target, true);
    onefile_cleanup();
    EXPECT_FALSE(exists(target));
    EXPECT_EQ(1u, deletion_requests_issued);
}

} // namespace

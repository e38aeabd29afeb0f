// The child handed over between the main thread, which waits for it, and
// the console handler's thread, which gives it a grace period and ends it:
// driven here by calling the handler on threads of this program while the
// main thread waits on real children.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "launcher/child_launch.hpp"
#include "launcher/cleanup.hpp"
#include "launcher/launcher_state.hpp"
#include "tests/cleanup/cleanup_test_support.hpp"
#include "tests/support/scenario.hpp"

namespace {

TARVEK_SCENARIO(sleep_then_exit)
{
    Sleep(std::stoul(arguments.at(0)));
    return std::stoi(arguments.at(1));
}

// One console event, as the system delivers it: on a thread of its own.
struct handler_thread {
    HANDLE thread = nullptr;
    DWORD event;
    DWORD delay_ms;
    BOOL result = TRUE;
    double took_ms = 0;

    static DWORD WINAPI run(void *self)
    {
        auto *me = static_cast<handler_thread *>(self);
        Sleep(me->delay_ms);
        stopwatch clock;
        me->result = console_ctrl_handler(me->event);
        me->took_ms = clock.elapsed_ms();
        return 0;
    }
    explicit handler_thread(DWORD event_code, DWORD delay = 0) : event(event_code), delay_ms(delay)
    {
        thread = CreateThread(nullptr, 0, run, this, 0, nullptr);
    }
    void join()
    {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        thread = nullptr;
    }
};

// A child of this program that sleeps, then exits with `code`, handed over
// as the child launch does; the main thread's own handle.
HANDLE start_child(DWORD sleep_ms, int code)
{
    started_process child = start_scenario("sleep_then_exit", {std::to_wstring(sleep_ms), std::to_wstring(code)});
    EXPECT_TRUE(child.started);
    return hand_over_child(child.info);
}

struct wait_outcome {
    uint32_t exit_code;
    BOOL handler_result;
    double handler_ms;
};

// The main thread waits for such a child while `event` comes, on a thread
// of its own, 200 ms in.
wait_outcome event_during_wait(DWORD child_sleep_ms, int child_code, DWORD event)
{
    HANDLE own = start_child(child_sleep_ms, child_code);
    handler_thread handler(event, 200);
    uint32_t exit_code = wait_for_child(own);
    handler.join();
    return {exit_code, handler.result, handler.took_ms};
}

TEST(Handover, ChildThatEndsWithinTheGracePeriodIsLeftToEnd)
{
    aimed_target target(L"grace", 5);
    wait_outcome run = event_during_wait(1500, 7, CTRL_C_EVENT);
    EXPECT_EQ(7u, run.exit_code) << "ended by the clean-up instead of by itself";
    EXPECT_LT(run.handler_ms, 4500);
    EXPECT_EQ(FALSE, run.handler_result);
    EXPECT_FALSE(exists(target.path));
    EXPECT_EQ(nullptr, child_process_handle.load());
}

TEST(Handover, ChildThatIgnoresTheEventIsEndedAfterTheGracePeriod)
{
    aimed_target target(L"ignored", 5);
    wait_outcome run = event_during_wait(120000, 9, CTRL_CLOSE_EVENT);
    EXPECT_EQ(ended_child_exit_code, run.exit_code);
    EXPECT_GE(run.handler_ms, child_grace_ms - 100.0);
    EXPECT_LT(run.handler_ms, child_grace_ms + 10000.0);
    EXPECT_EQ(FALSE, run.handler_result);
    EXPECT_FALSE(exists(target.path));
}

// Many events against short-lived children: the main thread waits, reads
// the exit code, closes its handle and cleans up while handlers take the
// shared handle, wait, close it and clean up too. No handle may be closed
// twice or left open, and every removal must finish.
TEST(Handover, HandlersRacingTheWaitAndCloseOfShortLivedChildren)
{
    aimed_target target(L"race", 0);
    HANDLE canary = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    DWORD handles_before = 0;
    constexpr int rounds = 16;
    for (int round = 0; round < rounds; ++round) {
        make_bulk_tree(target.path, 20, 10);
        aim_cleanup_at(target.path, true);
        // The first round makes what the program keeps for later (thread
        // pool, event objects); count from the second.
        if (round == 1)
            ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handles_before));
        HANDLE own = start_child(static_cast<DWORD>(round % 4) * 20, 3);
        std::vector<handler_thread *> handlers;
        for (DWORD i = 0; i < 4; ++i)
            handlers.push_back(new handler_thread(i % 2 == 0 ? CTRL_C_EVENT : CTRL_BREAK_EVENT,
                                                  (static_cast<DWORD>(round) * 7 + i * 13) % 60));
        uint32_t exit_code = wait_for_child(own);
        onefile_cleanup();
        for (handler_thread *handler : handlers) {
            handler->join();
            EXPECT_EQ(FALSE, handler->result);
            delete handler;
        }
        EXPECT_EQ(3u, exit_code) << "round " << round;
        EXPECT_FALSE(exists(target.path)) << "round " << round;
        EXPECT_EQ(nullptr, child_process_handle.load());
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(canary, 0)) << "a handle of this program was closed";
    }
    DWORD handles_after = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handles_after));
    EXPECT_EQ(handles_before, handles_after);
    CloseHandle(canary);
}

} // namespace

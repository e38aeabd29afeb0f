#include "payload/target_directory_lock.hpp"

#include <windows.h>

#include <atomic>

static std::atomic<bool> target_directory_locked;
static std::atomic<bool> target_directory_closed;

static_assert(std::atomic<bool>::is_always_lock_free, "taken on the console handler's thread");

// Holders are few and short-lived: a polite spin is enough, and needs no
// system object that could fail to be made.
static void take_lock()
{
    while (target_directory_locked.exchange(true, std::memory_order_acquire))
        Sleep(1);
}

bool lock_target_directory_for_writing()
{
    take_lock();
    if (!target_directory_closed.load(std::memory_order_relaxed))
        return true;
    unlock_target_directory();
    return false;
}

void lock_target_directory_for_cleanup()
{
    take_lock();
    target_directory_closed.store(true, std::memory_order_relaxed);
}

void unlock_target_directory()
{
    target_directory_locked.store(false, std::memory_order_release);
}

#include "payload/target_directory_lock.hpp"

#include <windows.h>

#include <atomic>

// The holder's thread id, 0 while the lock is free (no thread has id 0).
static std::atomic<DWORD> target_directory_holder;
static std::atomic<bool> target_directory_is_closed;

static_assert(std::atomic<DWORD>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "taken on the console handler's thread");

// Holders are few and short-lived: a polite spin is enough, and needs no
// system object that could fail to be made.
static void take_lock(DWORD self)
{
    for (DWORD free = 0; !target_directory_holder.compare_exchange_weak(free, self, std::memory_order_acquire);
         free = 0)
        Sleep(1);
}

bool lock_target_directory_for_writing()
{
    take_lock(GetCurrentThreadId());
    if (!target_directory_is_closed.load(std::memory_order_relaxed))
        return true;
    unlock_target_directory();
    return false;
}

bool target_directory_closed()
{
    return target_directory_is_closed.load(std::memory_order_relaxed);
}

void lock_target_directory_for_cleanup()
{
    target_directory_is_closed.store(true, std::memory_order_relaxed);
    DWORD self = GetCurrentThreadId();
    if (target_directory_holder.load(std::memory_order_relaxed) != self)
        take_lock(self);
}

void unlock_target_directory()
{
    target_directory_holder.store(0, std::memory_order_release);
}

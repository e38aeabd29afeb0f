#include "payload/main_library_hold.hpp"

#include <windows.h>

#include <atomic>

#include "paths/unique_handle.hpp"

static std::atomic<HANDLE> held_main_library = INVALID_HANDLE_VALUE;

static_assert(std::atomic<HANDLE>::is_always_lock_free, "released on the console handler's thread");

void hold_main_library(const wchar_t *path)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    unique_file(held_main_library.exchange(file)).reset();
}

void release_main_library()
{
    unique_file(held_main_library.exchange(INVALID_HANDLE_VALUE)).reset();
}

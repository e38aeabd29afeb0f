#include "payload/main_library_hold.hpp"

#include <windows.h>

#include <atomic>

#include "paths/unique_handle.hpp"

// Null while nothing is held (an open file handle is never null).
static std::atomic<HANDLE> held_main_library;

static_assert(std::atomic<HANDLE>::is_always_lock_free, "released on the console handler's thread");

void hold_main_library(const wchar_t *path)
{
    unique_file file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return;
    unique_handle(held_main_library.exchange(file.release())).reset();
}

void release_main_library()
{
    unique_handle(held_main_library.exchange(nullptr)).reset();
}

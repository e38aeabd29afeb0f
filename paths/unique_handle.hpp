// Owning handles in the manner of WIL's unique_any: one owner, which closes
// the handle exactly once when it goes out of scope (or at reset), is never
// copied, and throws nothing. Each kind names the value its opening call
// returns on failure, which is also the owner's empty value, and its
// closing call; the Win32 calls themselves stay at the call site.
//
// The empty test on the way out costs nothing where the caller has just
// tested the handle after opening it: the compiler knows the answer.
#pragma once

#include <windows.h>

// Kernel handles whose opening call returns null on failure: OpenProcess,
// CreateProcessW's handles.
struct null_empty_handle_kind {
    static bool is_empty(HANDLE handle) { return handle == nullptr; }
    static HANDLE empty() { return nullptr; }
    static void close(HANDLE handle) { CloseHandle(handle); }
};

// Kernel handles whose opening call returns INVALID_HANDLE_VALUE on
// failure: CreateFileW.
struct invalid_empty_handle_kind {
    static bool is_empty(HANDLE handle) { return handle == INVALID_HANDLE_VALUE; }
    static HANDLE empty() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE handle) { CloseHandle(handle); }
};

// Directory listings of FindFirstFileExW, closed by FindClose.
struct find_handle_kind {
    static bool is_empty(HANDLE handle) { return handle == INVALID_HANDLE_VALUE; }
    static HANDLE empty() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE handle) { FindClose(handle); }
};

// Marks a handle that the success of its opening call guarantees, such as
// CreateProcessW's: its owner then needs no empty test on the way out.
struct guaranteed_handle {
    HANDLE handle;
};

template <typename kind>
class unique_any_handle {
public:
    explicit unique_any_handle(HANDLE handle) : handle_(handle) {}
    explicit unique_any_handle(guaranteed_handle guaranteed) : handle_(guaranteed.handle)
    {
        if (kind::is_empty(handle_))
            __builtin_unreachable();
    }
    ~unique_any_handle() { reset(); }
    unique_any_handle(const unique_any_handle &) = delete;
    unique_any_handle &operator=(const unique_any_handle &) = delete;

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return !kind::is_empty(handle_); }

    // Gives the handle up without closing it; the owner is empty after.
    HANDLE release()
    {
        HANDLE handle = handle_;
        handle_ = kind::empty();
        return handle;
    }

    // Closes the handle now, if there is one; the owner is empty after.
    void reset()
    {
        if (!kind::is_empty(handle_))
            kind::close(handle_);
        handle_ = kind::empty();
    }

private:
    HANDLE handle_;
};

using unique_handle = unique_any_handle<null_empty_handle_kind>;
using unique_file = unique_any_handle<invalid_empty_handle_kind>;
using unique_find = unique_any_handle<find_handle_kind>;

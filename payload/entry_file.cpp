#include "payload/entry_file.hpp"

#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include "launcher/errors.hpp"
#include "paths/text.hpp"
#include "payload/payload_reader.hpp"
#include "payload/target_directory_lock.hpp"

static_assert(short_write_error == ERROR_WRITE_FAULT);
static_assert(write_buffer_size <= MAXDWORD);

static uint8_t write_buffer[write_buffer_size];

// The file being written, INVALID_HANDLE_VALUE between entries. The main
// thread's alone: a failure exit can come in the middle of an entry, and
// closes it there (close_entry_file).
static HANDLE entry_file = INVALID_HANDLE_VALUE;

// The open-failure line, built here rather than by "%ls": the C runtime
// writes a path through "%ls" one byte per unit in its "C" locale and stops
// the whole line at the first unit above 0xFF (a TEMP below a profile named
// in Chinese, say). Those units become '?' instead; the others are written
// as "%ls" writes them.
static char open_failure_line[wide_path_units + 64];

[[noreturn]] static void fail_open(const wchar_t *path)
{
    constexpr char before[] = "Error, failed to open '";
    constexpr char after[] = "' for writing.\n";
    size_t length = 0;
    for (const char *c = before; *c != 0; ++c)
        open_failure_line[length++] = *c;
    for (size_t i = 0; path[i] != 0 && i < wide_path_units - 1; ++i)
        open_failure_line[length++] = path[i] <= 0xFF ? static_cast<char>(path[i]) : '?';
    for (const char *c = after; *c != 0; ++c)
        open_failure_line[length++] = *c;
    static_assert(sizeof before - 1 + wide_path_units - 1 + sizeof after - 1 <= sizeof open_failure_line);
    fwrite(open_failure_line, 1, length, stderr);
    exit_after_failure();
}

void check_chunk_written(bool succeeded, uint32_t error, uint32_t written, uint32_t asked)
{
    if (succeeded && written == asked)
        return;
    fatal_system_error("Error, couldn't unpack file to target path.", succeeded ? short_write_error : error);
}

void close_entry_file()
{
    if (entry_file != INVALID_HANDLE_VALUE)
        CloseHandle(entry_file);
    entry_file = INVALID_HANDLE_VALUE;
}

bool unpack_entry_file(const wchar_t *path, uint64_t size)
{
    // An existing file of that name is replaced and truncated.
    entry_file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (entry_file == INVALID_HANDLE_VALUE)
        fail_open(path);
    while (size > 0) {
        if (target_directory_closed()) {
            close_entry_file();
            return false;
        }
        DWORD chunk = size < write_buffer_size ? static_cast<DWORD>(size) : write_buffer_size;
        read_payload(write_buffer, chunk);
        DWORD written = 0;
        bool succeeded = WriteFile(entry_file, write_buffer, chunk, &written, nullptr) != 0;
        check_chunk_written(succeeded, succeeded ? 0 : GetLastError(), written, chunk);
        size -= chunk;
    }
    close_entry_file();
    return true;
}

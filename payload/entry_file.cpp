#include "payload/entry_file.hpp"

#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include "launcher/errors.hpp"
#include "payload/extraction.hpp"
#include "payload/payload_reader.hpp"

static_assert(short_write_error == ERROR_WRITE_FAULT);
static_assert(write_buffer_size <= MAXDWORD);

// One chunk of content on its way from the reader to the file.
static uint8_t write_buffer[write_buffer_size];

[[noreturn]] static void fail_open(const wchar_t *path)
{
    fprintf(stderr, "Error, failed to open '%ls' for writing.\n", path);
    exit(failure_exit_code);
}

void check_chunk_written(bool succeeded, uint32_t error, uint32_t written, uint32_t asked)
{
    if (succeeded && written == asked)
        return;
    report_system_error("Error, couldn't unpack file to target path.",
                        succeeded ? short_write_error : error);
    exit(failure_exit_code);
}

void unpack_entry_file(const wchar_t *path, uint64_t size)
{
    // An existing file of that name is replaced and truncated.
    HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        fail_open(path);
    while (size > 0) {
        DWORD chunk = size < write_buffer_size ? static_cast<DWORD>(size) : write_buffer_size;
        read_payload(write_buffer, chunk);
        DWORD written = 0;
        bool succeeded = WriteFile(file, write_buffer, chunk, &written, nullptr) != 0;
        check_chunk_written(succeeded, succeeded ? 0 : GetLastError(), written, chunk);
        size -= chunk;
    }
    CloseHandle(file);
}

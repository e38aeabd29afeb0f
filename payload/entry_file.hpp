// One entry's file: created or truncated at its path, then filled with the
// entry's content straight from the payload reader, chunk by chunk.
#pragma once

#include <stddef.h>
#include <stdint.h>

// One chunk of content on its way from the reader to the file.
constexpr size_t write_buffer_size = 32768;

// Writes the entry's file whole and closes it: true. Between two chunks it
// looks whether a clean-up has closed the target directory
// (payload/target_directory_lock.hpp); then it closes the file, written
// in part, and returns false at once, so that the clean-up waits for one
// chunk at most, never for the rest of a large entry. Ends the process when
// the file cannot be opened or written.
bool unpack_entry_file(const wchar_t *path, uint64_t size);

// Closes the file being written, if one is open. Only for a failure exit on
// the main thread, in the middle of an entry: the file must be closed before
// the target directory can be removed.
void close_entry_file();

// The outcome of one WriteFile call for `asked` bytes: returns only when all
// of them were written. `error` is GetLastError() after a failed call. A call
// that succeeds with fewer bytes would leave a truncated file behind, so it
// fails the same way.
void check_chunk_written(bool succeeded, uint32_t error, uint32_t written, uint32_t asked);

// Reported for a write that succeeded with fewer bytes than asked.
constexpr uint32_t short_write_error = 29; // ERROR_WRITE_FAULT

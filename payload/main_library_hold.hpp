// The main library, held open by the parent from just after it is written
// until the clean-up, shared for reading only: nothing writes, renames or
// deletes it while the child loads and runs it (the frame's checksum covers
// the stream, not the file on disk). Loading it needs no more than reading.
//
// The main thread holds it; a clean-up, on the main thread after the run or
// on the console handler's thread, releases it before removing the target
// directory. Whoever takes the handle out of its slot closes it.
#pragma once

// Opens the file at `path`, just written, for reading, sharing reading only.
// A handle the system refuses leaves nothing held.
void hold_main_library(const wchar_t *path);

// Closes the held handle, if one is held.
void release_main_library();

// The main library, held open by the parent from just after it is written
// until the clean-up, shared for reading only: nothing writes, renames or
// deletes it while the child loads and runs it (the frame's checksum covers
// the stream, not the file on disk). Loading it needs no more than reading.
// The child holds it the same way for as long as it runs, so that the
// library is held while any launcher process of the run lives: that is how
// another launcher's sweep (launcher/leftover_sweep.hpp) tells a folder in
// use from one that an ended run left.
//
// The main thread holds it; in the parent a clean-up, on the main thread
// after the run or on the console handler's thread, releases it before
// removing the target directory. Whoever takes the handle out of its slot
// closes it.
#pragma once

// Opens the file at `path`, just written, for reading, sharing reading only.
// A handle the system refuses leaves nothing held.
void hold_main_library(const wchar_t *path);

// Closes the held handle, if one is held.
void release_main_library();

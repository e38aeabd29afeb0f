// The system's list of processes, read without any access to the processes
// it lists: which are alive, when each started, which process created each,
// and the file name of each one's image. A process that denies every other
// process all access to itself is listed all the same.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <windows.h>

struct listed_process {
    DWORD id;
    // The process that created it, as the system recorded it at its start
    // (the id may since have been given to another process).
    DWORD creator;
    // Its creation time, in 100-nanosecond units since 1601.
    uint64_t created;
    // The file name of its image without the folder, as the system lists it;
    // valid until the list is released.
    const wchar_t *image_name;
    size_t image_name_units;
};

// Takes a list of the processes alive now. False when the system gives none.
bool take_process_list();
// The entry of process `id` in the list taken last; false when it is not
// listed (it has ended, or never was).
bool find_listed_process(DWORD id, listed_process &entry);
// Frees the list; find_listed_process finds nothing until the next one.
void release_process_list();

// The image's start-up, which its entry point runs: a windowed launcher's
// (entry_windowed.cpp) or a console launcher's (entry_console.cpp). The
// launcher parts carry both entries; the link picks one (/entry).
#pragma once

#include "image/runtime_startup.hpp"

// Both entries lie in sections of this one name, whose unwind data the link
// keeps, so both are in every launcher, side by side in the same place: a
// console launcher differs from a windowed one in two header fields, the
// subsystem and the entry point, and in nothing else (tests/image checks
// it). The unused entry costs a few bytes of code.
#define TARVEK_ENTRY_SECTION ".text$tarvek_entry"

// Tells the runtime that the program is of `app_type`, sets it up (the wide
// argument vector without wildcard expansion, the environment copy, null on
// a failed allocation, no invalid-parameter handler that ends the process),
// runs the static initialisers, then launcher_main with the four arguments
// of a windowed program's entry (windows_entry.hpp), and ends the process
// with its result through exit. Never returns.
[[noreturn]] void run_startup(_crt_app_type app_type);

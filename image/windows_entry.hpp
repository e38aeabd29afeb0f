// The glue between the start-up and launcher_main: the four arguments of a
// windowed program's entry.
#pragma once

// Calls launcher_main with the image's base address, no previous instance,
// the command-line tail and the show command; returns its result.
int run_windowed_program();

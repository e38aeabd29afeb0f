// Starting the child: the same executable with the parent's arguments,
// standard handles and environment; waiting for it; its exit code.
#pragma once

#include <stdint.h>
#include <windows.h>

#include "launcher/child_command_line.hpp"

// Parent, before anything is written: reads the own image path and builds
// the child's command line from it and the process's arguments. A line of
// more than 32767 units ends the process with "Error, command line too long
// for child." and exit code 2; without the own image path it aborts.
void prepare_child_launch();

// Starts the child on the prepared command line, in a job that ends it when
// this process ends (launcher/ending_job.hpp), and the sweep of folders that
// ended runs left (launcher/leftover_sweep.hpp); waits without a time limit,
// cleans up and returns the child's exit code (1 if it cannot be read). Does
// not return when the child cannot be started.
uint32_t launch_child();

// Closes the thread handle of a child just started, puts a second handle to
// it (for waiting and ending only) into child_process_handle, and returns
// the process handle, which stays the main thread's own.
HANDLE hand_over_child(const PROCESS_INFORMATION &child);

// Waits for the child on the main thread's own handle, without a time limit,
// reads its exit code (1 if that fails) and closes the handle; closes the
// slot's handle too if no clean-up has taken it. Returns the exit code.
uint32_t wait_for_child(HANDLE child);

// The target directory: its path, expanded from the template, and in the
// parent the directory itself, made by this run and by nothing else.
#pragma once

// Expands the target directory's template into target_directory and makes it
// a full path. A template that cannot be expanded ends the process through
// report_spec_failure; a full path that cannot be had, through abort.
void expand_target_directory();

// Parent: makes the target directory new, with a descriptor that only the
// owner, SYSTEM and Administrators may use (launcher/target_directory_security.hpp),
// and the folders above it that are missing. A folder of that name that
// exists was not made by this run and is never used: a new RANDOM names
// another, up to target_directory_draws names in all. Ends the process with
// "Error, couldn't create target directory." and exit code 2 when no new
// directory can be made. Sets extraction_started once the directory is
// made, so that a clean-up removes it from then on, and never a folder that
// this run did not make. Does nothing once a clean-up has closed the
// directory.
void create_target_directory();

constexpr int target_directory_draws = 4;

// Names of the environment variables that tie parent and child together and
// tell the application where it came from. Kept as 8-bit text and widened
// into an environment name buffer before use.
#pragma once

#include <string.h>

#include "paths/text.hpp"

inline constexpr const char *env_parent = "TARVEK_ONEFILE_PARENT";
inline constexpr const char *env_start = "TARVEK_ONEFILE_START";
inline constexpr const char *env_time_us = "TARVEK_ONEFILE_TIME_US";
inline constexpr const char *env_random = "TARVEK_ONEFILE_RANDOM";
inline constexpr const char *env_directory = "TARVEK_ONEFILE_DIRECTORY";
inline constexpr const char *env_original_argv0 = "TARVEK_ORIGINAL_ARGV0";

static_assert(__builtin_strlen("TARVEK_ONEFILE_DIRECTORY") < env_name_units,
              "the longest name fits the name buffer");

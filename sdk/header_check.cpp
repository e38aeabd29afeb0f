// <tarvek/run_code.h> in C++, and its names of the environment variables
// against those the launcher sets and reads.
#include <tarvek/run_code.h>

#include <type_traits>

#include "paths/environment_names.hpp"

namespace {

constexpr bool same_name(const char *launcher, const wchar_t *sdk)
{
    for (; *launcher != 0 || *sdk != 0; ++launcher, ++sdk) {
        if (static_cast<wchar_t>(*launcher) != *sdk)
            return false;
    }
    return true;
}

static_assert(same_name(env_directory, TARVEK_ENV_ONEFILE_DIRECTORY));
static_assert(same_name(env_original_argv0, TARVEK_ENV_ORIGINAL_ARGV0));
static_assert(same_name(env_parent, TARVEK_ENV_ONEFILE_PARENT));
static_assert(same_name(env_start, TARVEK_ENV_ONEFILE_START));
static_assert(same_name(env_time_us, TARVEK_ENV_ONEFILE_TIME_US));
static_assert(same_name(env_random, TARVEK_ENV_ONEFILE_RANDOM));

} // namespace

// The header's two spellings of the entry agree.
static_assert(std::is_same_v<decltype(run_code), tarvek_run_code_function>);

#include "launcher/target_directory.hpp"

#include <stdlib.h>
#include <windows.h>

#include "launcher/errors.hpp"
#include "launcher/launcher_state.hpp"
#include "launcher/target_directory_security.hpp"
#include "paths/environment_names.hpp"
#include "paths/path_template.hpp"
#include "paths/text.hpp"
#include "payload/directory_cache.hpp"
#include "payload/parent_directories.hpp"
#include "payload/target_directory_lock.hpp"

// Replaces the expanded target directory by its full path.
static void make_target_directory_full()
{
    DWORD length = GetFullPathNameW(target_directory, wide_path_units, launcher_scratch, nullptr);
    if (length == 0 || length > wide_path_units - 1)
        abort();
    copy_wide(target_directory, launcher_scratch);
}

void expand_target_directory()
{
    bool expanded = expand_path_template(target_directory, target_directory_template);
    make_target_directory_full();
    if (!expanded)
        report_spec_failure(target_directory_template);
}

void create_target_directory()
{
    if (!lock_target_directory_for_writing())
        return;
    // The folders above: a TEMP that does not exist yet is made on the way.
    ensure_parent_directories(target_directory);
    for (int draw = 1;; ++draw) {
        uint32_t error = create_new_directory_cached(target_directory, target_directory_security());
        if (error == ERROR_SUCCESS)
            break;
        if (error != ERROR_ALREADY_EXISTS || draw == target_directory_draws)
            fatal_system_error("Error, couldn't create target directory.", error);
        set_env(env_random, nullptr);
        expand_target_directory();
    }
    extraction_started.store(true);
    unlock_target_directory();
}

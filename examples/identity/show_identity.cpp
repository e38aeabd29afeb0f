// Expands the launcher's target-directory template the way a parent does and
// prints it with the run identity that the expansion stored.
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include "paths/environment_names.hpp"
#include "paths/path_template.hpp"
#include "paths/text.hpp"

static void show(const char *name)
{
    wchar_t *value = get_env(name);
    printf("  %-24s %ls\n", name, value != nullptr ? value : L"(absent)");
    free(value);
}

int wmain()
{
    constexpr const wchar_t *target_template = L"{TEMP}\\onefile_{PID}_{TIME_US}_{RANDOM}";
    wide_path target;
    if (!expand_path_template(target, target_template)) {
        printf("could not expand %ls\n", target_template);
        return 1;
    }
    printf("template  %ls\n", target_template);
    printf("expands   %ls\n", target);
    printf("run identity:\n");
    show(env_parent);
    show(env_time_us);
    show(env_random);
    show(env_start);
    return 0;
}

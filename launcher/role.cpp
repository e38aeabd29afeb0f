#include "launcher/role.hpp"

#include <windows.h>

#include <errno.h>
#include <psapi.h>
#include <stdlib.h>
#include <wchar.h>

#include "launcher/launcher_state.hpp"
#include "paths/environment_names.hpp"
#include "paths/path_normalisation.hpp"
#include "paths/run_identity.hpp"
#include "paths/text.hpp"

static image_path normalised_own_image;
static image_path reported_own_image;
static wide_path directory_of_launcher;

static void read_own_image(image_path &path)
{
    if (GetModuleFileNameW(nullptr, path, image_path_capacity) == 0)
        path[0] = 0;
}

static void normalise(wchar_t *path, size_t capacity)
{
    resolve_final_path(path, path, capacity, true);
    shorten_directory(path, capacity);
}

static const wchar_t *normalised_own_image_path()
{
    if (normalised_own_image[0] == 0) {
        read_own_image(normalised_own_image);
        normalise(normalised_own_image, image_path_capacity);
    }
    return normalised_own_image;
}

// The process id in TARVEK_ONEFILE_PARENT, if the whole value converts.
static bool parent_process_id(DWORD *id)
{
    wchar_t *value = get_env(env_parent);
    if (value == nullptr)
        return false;
    wchar_t *stop = nullptr;
    errno = 0;
    unsigned long number = wcstoul(value, &stop, 10);
    bool converted = errno == 0 && stop != nullptr && *stop == 0;
    free(value);
    *id = static_cast<DWORD>(number);
    return converted;
}

bool detect_child_role()
{
    DWORD parent_id;
    if (!parent_process_id(&parent_id))
        return false;
    HANDLE parent = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, parent_id);
    if (parent == nullptr)
        return false;
    static_assert(image_path_capacity < env_value_units);
    DWORD length = K32GetModuleFileNameExW(parent, nullptr, launcher_scratch, image_path_capacity);
    if (length != 0)
        normalise(launcher_scratch, image_path_capacity);
    bool same = wcscmp(launcher_scratch, normalised_own_image_path()) == 0;
    CloseHandle(parent);
    return length != 0 && same;
}

void become_parent()
{
    set_env(env_start, nullptr);
    set_env(env_time_us, nullptr);
    set_env(env_random, nullptr);
    wchar_t id[pid_text_bytes] = {};
    append_own_process_id(id, capacity_of(id));
    set_env(env_parent, id);
    is_parent = true;
}

const wchar_t *launcher_directory()
{
    if (directory_of_launcher[0] == 0) {
        if (reported_own_image[0] == 0)
            read_own_image(reported_own_image);
        // Cut the path for the copy only: the image path keeps its last part.
        wchar_t *last = wcsrchr(reported_own_image, L'\\');
        if (last != nullptr)
            *last = 0;
        copy_wide(directory_of_launcher, reported_own_image);
        if (last != nullptr)
            *last = L'\\';
    }
    return directory_of_launcher;
}

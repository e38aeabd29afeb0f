#include "launcher/role.hpp"

#include <windows.h>

#include <errno.h>
#include <psapi.h>
#include <stdlib.h>
#include <wchar.h>

#include "launcher/launcher_state.hpp"
#include "launcher/process_list.hpp"
#include "paths/environment_names.hpp"
#include "paths/path_normalisation.hpp"
#include "paths/run_identity.hpp"
#include "paths/text.hpp"
#include "paths/unique_handle.hpp"

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

// The process id in TARVEK_ONEFILE_PARENT, if the value is decimal digits
// alone that convert to an id other than 0 (the system's idle process).
static bool parent_process_id(DWORD *id)
{
    wchar_t *value = get_env(env_parent);
    if (value == nullptr)
        return false;
    wchar_t *stop = nullptr;
    errno = 0;
    unsigned long number = wcstoul(value, &stop, 10);
    bool converted = is_pid_token(value) && errno == 0 && stop != nullptr && *stop == 0 && number != 0;
    free(value);
    *id = static_cast<DWORD>(number);
    return converted;
}

// Tokens of another form than a parent gives them would name another
// directory, anywhere.
static bool inherited_tokens_are_well_formed()
{
    wchar_t *time_us = get_env(env_time_us);
    wchar_t *random = get_env(env_random);
    bool well_formed = time_us != nullptr && random != nullptr && is_time_us_token(time_us) &&
                       is_random_token(random);
    free(time_us);
    free(random);
    return well_formed;
}

static_assert(image_path_capacity < env_value_units);

// The main module's name, read from the process's own memory: needs query
// and read access.
static bool read_module_name(DWORD id, wchar_t *path)
{
    constexpr DWORD access = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
    static_assert(access == 0x0410);
    unique_handle process(OpenProcess(access, FALSE, id));
    if (!process)
        return false;
    return K32GetModuleFileNameExW(process.get(), nullptr, path, image_path_capacity) != 0;
}

// The image name that the system keeps for the process: needs only limited
// query access, which is granted where reading the process's memory is not
// (a tracer attached to it, security software). A process that has ended
// keeps its object, image name included, while anyone holds a handle to it;
// it is no waiting parent.
static process_image_source read_image_name(DWORD id, wchar_t *path)
{
    unique_handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    if (!process)
        return process_image_source::none;
    DWORD exit_code = 0;
    DWORD length = image_path_capacity;
    if (GetExitCodeProcess(process.get(), &exit_code) != 0 && exit_code != STILL_ACTIVE)
        return process_image_source::ended;
    if (QueryFullProcessImageNameW(process.get(), 0, path, &length) != 0 && length != 0)
        return process_image_source::image_name;
    return process_image_source::none;
}

process_image_source read_process_image(DWORD id, wchar_t *path)
{
    path[0] = 0;
    if (read_module_name(id, path))
        return process_image_source::module_name;
    path[0] = 0;
    process_image_source source = read_image_name(id, path);
    if (source != process_image_source::image_name)
        path[0] = 0;
    return source;
}

// Where the process may not even be queried (it denies this one all access)
// its file name as the system lists it is all there is to compare.
static bool same_listed_name(const listed_process &a, const listed_process &b)
{
    return a.image_name_units == b.image_name_units && a.image_name_units > 0 &&
           _wcsnicmp(a.image_name, b.image_name, a.image_name_units) == 0;
}

// Whether the listed process runs this executable: its image path, read
// with whatever access this process has, compared in normalised form with
// this process's own. A process that has ended runs nothing. Where nothing
// of it may be read, only `own` with `by_listed_name` gives an answer: the
// file names the system lists both under.
static bool runs_this_executable(const listed_process &process, const listed_process &own, bool by_listed_name)
{
    switch (read_process_image(process.id, launcher_scratch)) {
    case process_image_source::module_name:
    case process_image_source::image_name:
        normalise(launcher_scratch, image_path_capacity);
        return wcscmp(launcher_scratch, normalised_own_image_path()) == 0;
    case process_image_source::ended:
        return false;
    case process_image_source::none:
        break;
    }
    return by_listed_name && same_listed_name(process, own);
}

// Whether `parent` is alive, started no later than `started` (a process id
// given anew to a later process does not pass) and runs this executable.
static bool is_waiting_parent(DWORD parent_id, uint64_t started, const listed_process &own, bool by_listed_name)
{
    listed_process parent;
    return find_listed_process(parent_id, parent) && parent.created <= started &&
           runs_this_executable(parent, own, by_listed_name);
}

// A parent starts no other process than its own executable, and only after
// naming itself in TARVEK_ONEFILE_PARENT: its child is a launcher that it
// created. A launcher that the application starts was created by the child,
// the same executable, which the named parent created; it shares the
// parent's directory. Anything else is not a child of this run: another
// program naming a process, a process naming itself, a copy of the launcher
// started by someone else. Where the system lists nothing of this process,
// its creator is unknown: no child.
static bool listed_as_child_of(DWORD parent_id)
{
    listed_process own, creator;
    if (!find_listed_process(GetCurrentProcessId(), own))
        return false;
    if (own.creator == parent_id)
        return is_waiting_parent(parent_id, own.created, own, true);
    // Here the creator must be read as this executable, and so must the
    // parent: a listed name is not enough twice over. A launcher whose
    // creator may not be read becomes a parent of its own, which starts no
    // chain: its child recognises it.
    return find_listed_process(own.creator, creator) && creator.created <= own.created &&
           creator.creator == parent_id && runs_this_executable(creator, own, false) &&
           is_waiting_parent(parent_id, creator.created, own, false);
}

bool detect_child_role()
{
    DWORD parent_id;
    if (!parent_process_id(&parent_id))
        return false;
    // A stale id that the system has given to this very process.
    if (parent_id == GetCurrentProcessId())
        return false;
    if (!inherited_tokens_are_well_formed())
        return false;
    if (!take_process_list())
        return false;
    bool child = listed_as_child_of(parent_id);
    release_process_list();
    return child;
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

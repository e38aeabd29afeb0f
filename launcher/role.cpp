#include "launcher/role.hpp"

#include <windows.h>

#include <errno.h>
#include <psapi.h>
#include <stdlib.h>
#include <tlhelp32.h>
#include <wchar.h>

#include "launcher/launcher_state.hpp"
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

creator_answer process_created_this_one(DWORD id)
{
    unique_file snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return creator_answer::unknown;
    DWORD own = GetCurrentProcessId();
    bool named_is_listed = false;
    bool own_is_listed = false;
    DWORD creator = 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == id)
            named_is_listed = true;
        if (entry.th32ProcessID == own) {
            own_is_listed = true;
            creator = entry.th32ParentProcessID;
        }
    }
    snapshot.reset();
    if (!own_is_listed)
        return creator_answer::unknown;
    return named_is_listed && creator == id ? creator_answer::yes : creator_answer::no;
}

// The named process's image path is compared with this process's own, both
// in normalised form. Where nothing of the named process can be read, the
// answer comes from the system's list of processes instead: a parent starts
// no other process than its own executable, and only after it has named
// itself in TARVEK_ONEFILE_PARENT, so a launcher that the named process
// created is that parent's child. A launcher started by the application (by
// the child, not by the named parent) then takes the parent role, which ends
// in a child that recognises it: nothing can start a chain.
bool detect_child_role()
{
    DWORD parent_id;
    if (!parent_process_id(&parent_id))
        return false;
    // A stale id that the system has given to this very process.
    if (parent_id == GetCurrentProcessId())
        return false;
    switch (read_process_image(parent_id, launcher_scratch)) {
    case process_image_source::module_name:
    case process_image_source::image_name:
        normalise(launcher_scratch, image_path_capacity);
        return wcscmp(launcher_scratch, normalised_own_image_path()) == 0;
    case process_image_source::ended:
        return false;
    case process_image_source::none:
        break;
    }
    return process_created_this_one(parent_id) == creator_answer::yes;
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

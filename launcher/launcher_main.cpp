#include "launcher/launcher_main.hpp"

#include <stdlib.h>

#include "launcher/child_launch.hpp"
#include "launcher/cleanup.hpp"
#include "launcher/errors.hpp"
#include "launcher/launcher_state.hpp"
#include "launcher/role.hpp"
#include "launcher/target_directory.hpp"
#include "paths/environment_names.hpp"
#include "paths/path_template.hpp"
#include "paths/text.hpp"
#include "payload/entry_loop.hpp"
#include "payload/main_library_hold.hpp"
#include "payload/payload_reader.hpp"

using run_code_function = int (*)(int argc, wchar_t **argv, const wchar_t *library_path);

[[noreturn]] static void load_failed(DWORD code)
{
    fatal_system_error("Error, load DLL.", code);
}

// The child's end: load the main library from the target directory and hand
// over to its run_code. Nothing is written, and nothing released afterwards.
//
// From here on a library loaded by bare name comes from the target directory
// or the system folder: never from the launcher's folder, the current folder
// or PATH, where anyone may have put one. The application adds a folder of
// its own with AddDllDirectory.
static int load_main_library(int argc, wchar_t **argv)
{
    AddDllDirectory(target_directory);
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS);
    constexpr DWORD search = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_USER_DIRS |
                             LOAD_LIBRARY_SEARCH_SYSTEM32;
    static_assert(search == 0x00000D00);
    HMODULE library = LoadLibraryExW(main_library_path, nullptr, search);
    if (library == nullptr)
        load_failed(GetLastError());
    auto run_code = reinterpret_cast<run_code_function>(
        reinterpret_cast<void *>(GetProcAddress(library, "run_code")));
    if (run_code == nullptr)
        fatal_message("Error, DLL entry point not found.");
    return run_code(argc, argv, main_library_path);
}

int launcher_main(HINSTANCE, HINSTANCE, wchar_t *, int)
{
    // The runtime's count and wide vector, which the image's start-up had it
    // build from the command line without wildcard expansion
    // (image/startup.cpp); the windowed entry's four arguments are not used.
    int argc = __argc;
    wchar_t **argv = __wargv;
    // The launcher's own later loads (shell32, advapi32) come from the system
    // folder alone.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryW(L"");
    if (!detect_child_role())
        become_parent();

    expand_target_directory();

    if (is_parent) {
        clean_up_on_failure_exits();
        if (!SetConsoleCtrlHandler(console_ctrl_handler, TRUE))
            fatal_message("Error, failed to register signal handler.");
        // Whatever would keep the child from starting shows before anything
        // is written.
        prepare_child_launch();
        if (argv == nullptr || argv[0] == nullptr)
            abort();
        set_env(env_directory, launcher_directory());
        set_env(env_original_argv0, argv[0]);
    }

    open_payload();
    if (is_parent)
        create_target_directory();
    bool has_main_library = run_entry_loop(target_directory, main_library_path,
                                           is_parent ? entry_loop_mode::unpack_all
                                                     : entry_loop_mode::first_name_only);
    if (!is_parent) {
        // A payload without entries has no main library; starting another
        // child would never end.
        if (!has_main_library)
            load_failed(ERROR_FILE_NOT_FOUND);
        // The child reads nothing more: the decompressor's window, as large
        // as the frame asks for, is not held for the application's lifetime.
        close_payload();
        // Held, like the parent holds it, for as long as the application
        // runs: a sweep of another launcher (launcher/leftover_sweep.hpp)
        // then sees the folder in use even where the parent is gone.
        hold_main_library(main_library_path);
        return load_main_library(argc, argv);
    }
    close_payload();
    return static_cast<int>(launch_child());
}

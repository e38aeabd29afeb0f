// The Universal C Runtime's start-up interface, which the mingw-w64 headers
// do not declare (or, for _set_new_mode, declare only for C++ linkage): the
// calls a program's own start-up makes before its main function.
#pragma once

extern "C" {

enum _crt_app_type { _crt_unknown_app, _crt_console_app, _crt_gui_app };
enum _crt_argv_mode { _crt_argv_no_arguments, _crt_argv_unexpanded_arguments, _crt_argv_expanded_arguments };

__declspec(dllimport) void __cdecl _set_app_type(_crt_app_type type);
// Builds __argc and __wargv from the process command line; 0 on success.
__declspec(dllimport) int __cdecl _configure_wide_argv(_crt_argv_mode mode);
// Builds the runtime's wide copy of the environment; 0 on success.
__declspec(dllimport) int __cdecl _initialize_wide_environment(void);
// 0: a failed allocation returns null; 1: malloc fails as operator new does.
__declspec(dllimport) int __cdecl _set_new_mode(int mode);
}

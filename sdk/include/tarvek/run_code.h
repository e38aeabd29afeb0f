/*
 * Tarvek Onefile: the entry of an application's main library.
 *
 * A launcher unpacks the application into a fresh folder under %TEMP%,
 * starts itself again as a child process, loads the main library (the
 * application folder's main.dll) there and calls its export run_code on the
 * child's main thread. What run_code returns is the launcher's exit code,
 * all 32 bits of it. Usable from C and C++.
 *
 * Define the entry with the macro, which spells the exact declaration:
 *
 *     #include <tarvek/run_code.h>
 *
 *     TARVEK_RUN_CODE
 *     {
 *         ... argc, argv and library_path are the parameters ...
 *         return 0;
 *     }
 *
 * or write the declaration out: this header declares it, so a definition
 * that differs from it does not compile.
 */
#ifndef TARVEK_RUN_CODE_H
#define TARVEK_RUN_CODE_H

#include <wchar.h>

#ifdef __cplusplus
#define TARVEK_RUN_CODE_LINKAGE extern "C"
#else
#define TARVEK_RUN_CODE_LINKAGE
#endif

/*
 * The export, undecorated, with the one calling convention of x86-64
 * Windows:
 *
 * argc, argv    the child's own wide argument vector: argv[0] is the
 *               launcher's full path, the other elements are the user's
 *               arguments as received (no wildcard expansion); argv[argc] is
 *               a null pointer.
 * library_path  the full path of main.dll in the unpacked folder; every
 *               other file of the application is beside it at its relative
 *               path. The folder is removed with everything in it when the
 *               run ends.
 */
#define TARVEK_RUN_CODE \
    TARVEK_RUN_CODE_LINKAGE __declspec(dllexport) int run_code(int argc, wchar_t **argv, const wchar_t *library_path)

TARVEK_RUN_CODE;

/* The entry's type, for a program that loads a main library itself and
 * calls it (GetProcAddress(library, "run_code")). */
typedef int tarvek_run_code_function(int argc, wchar_t **argv, const wchar_t *library_path);

/*
 * Environment variables the launcher sets for the application, in the
 * child's environment (GetEnvironmentVariableW, _wgetenv). Their values are
 * UTF-16 text; read them with the wide functions, since the narrow ones
 * convert to the code page and lose what it cannot hold.
 */

/* The folder the launcher itself was started from, as the system reports the
 * launcher's path (GetModuleFileNameW), cut before its last backslash: with
 * no trailing backslash, so at a drive root it is "T:", not "T:\"; neither
 * resolved through links nor lengthened from short (8.3) names. */
#define TARVEK_ENV_ONEFILE_DIRECTORY L"TARVEK_ONEFILE_DIRECTORY"

/* The program name as the user's command line gave it (argument 0 as the C
 * runtime parsed it, e.g. "greeter" or ".\greeter.exe"), where argv[0] of
 * run_code is the launcher's full path. */
#define TARVEK_ENV_ORIGINAL_ARGV0 L"TARVEK_ORIGINAL_ARGV0"

/* These belong to the launcher, which ties its two processes together
 * through them: the parent's process id and the run's identity tokens,
 * from which the child finds the unpacked folder. Leave them alone: do not
 * set, change or remove them. */
#define TARVEK_ENV_ONEFILE_PARENT L"TARVEK_ONEFILE_PARENT"
#define TARVEK_ENV_ONEFILE_START L"TARVEK_ONEFILE_START"
#define TARVEK_ENV_ONEFILE_TIME_US L"TARVEK_ONEFILE_TIME_US"
#define TARVEK_ENV_ONEFILE_RANDOM L"TARVEK_ONEFILE_RANDOM"

/*
 * The rest of the main library's environment:
 *
 * - run_code runs on the launcher's main thread, whose stack is the
 *   launcher image's reserve of 16 MiB (committed as it grows); threads
 *   created with the default stack size get the same reserve.
 * - A library loaded by bare name (LoadLibraryW(L"x.dll"), and every import
 *   of main.dll and of the libraries it loads) is looked for in the
 *   unpacked folder and then in System32 only: never in the launcher's
 *   folder, the current folder or PATH. Libraries elsewhere, in a subfolder
 *   of the application too, are loaded by full path, or their folder is
 *   added with AddDllDirectory first.
 * - The standard handles, the current folder and the rest of the
 *   environment are the user's, as the launcher received them.
 */

#endif

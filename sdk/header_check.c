/* <tarvek/run_code.h> in C: the macro defines the export, and a caller's
 * pointer of the entry's type takes it. */
#include <tarvek/run_code.h>

TARVEK_RUN_CODE
{
    (void)argv;
    (void)library_path;
    return argc;
}

tarvek_run_code_function *const tarvek_header_check_entry = run_code;

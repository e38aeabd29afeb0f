#include "adapter/start_failure.hpp"

// Before anything that includes the C++ library's <stdlib.h>, which would
// turn fprintf into mingw-w64's own formatting instead of the runtime's.
#include <stdio.h>
#include <windows.h>

#include "adapter/run_program.hpp"
#include "launcher/errors.hpp"
#include "paths/text.hpp"

// The program's name in UTF-8: the runtime's "%ls" converts by the C
// locale, which stops the line at the first character outside ASCII.
static char program_name_text[3 * wide_path_units];

int report_start_failure(uint32_t error)
{
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        if (WideCharToMultiByte(CP_UTF8, 0, tarvek_run_program, -1, program_name_text, sizeof program_name_text,
                                nullptr, nullptr) == 0)
            program_name_text[0] = 0;
        fprintf(stderr, "Error, couldn't find program '%s'.\n", program_name_text);
    } else {
        report_system_error("Error, couldn't start program", error);
    }
    return failure_exit_code;
}

// Reports a program that could not be started, in the launcher's style: one
// line on standard error starting "Error, "; the launcher's child then exits
// with 2.
#pragma once

#include <stdint.h>

// "Error, couldn't find program 'NAME'." for a program the unpacked folder
// does not hold (NAME as tarvek_run_program gives it, in UTF-8), else
// "Error, couldn't start program ([Error CODE] SYSTEM TEXT)". Returns 2.
int report_start_failure(uint32_t error);

// The probe's report and actions (probe.cpp), shared by its main library
// and its program.
#pragma once

// Reports, then runs the actions of TARVEK_PROBE_ACTIONS; the result is the
// exit code they ask for. `library` is the main library's path, or null in
// the program.
int run_probe(int argc, wchar_t **argv, const wchar_t *library);

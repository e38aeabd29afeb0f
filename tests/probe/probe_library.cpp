// The probe as a main library.
#include "tests/probe/probe.hpp"

extern "C" __declspec(dllexport) int run_code(int argc, wchar_t **argv, const wchar_t *library_path)
{
    return run_probe(argc, argv, library_path);
}

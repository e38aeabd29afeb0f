// The probe as an ordinary console program, for the adapter library to run.
#include "tests/probe/probe.hpp"

int wmain(int argc, wchar_t **argv)
{
    return run_probe(argc, argv, nullptr);
}

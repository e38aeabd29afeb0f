// The synthetic application's main library: returns at once, after noting
// when it was entered (entry_stamp.hpp).
#include "bench/startup/entry_stamp.hpp"

extern "C" __declspec(dllexport) int run_code(int, wchar_t **, const wchar_t *)
{
    return write_entry_stamp();
}

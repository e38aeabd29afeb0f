// A main library that exports no run_code.
extern "C" __declspec(dllexport) int something_else(void)
{
    return 1;
}

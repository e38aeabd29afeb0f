// Main libraries that tarvek-pack must refuse, one per build definition:
// PACK_MANGLED exports run_code under its C++ name, PACK_NO_EXPORTS exports
// nothing at all.
#ifdef PACK_MANGLED
__declspec(dllexport) int run_code(int, wchar_t **, const wchar_t *)
{
    return 0;
}
#endif

#ifdef PACK_NO_EXPORTS
int not_exported(int value)
{
    return value + 1;
}
#endif

// The image's load configuration directory, for one setting: the libraries
// that the image's own imports import in turn are looked for in the system
// folder alone (DependentLoadFlags, honoured by Windows 10 1607 and later),
// not beside the executable, where anything may lie in a Downloads folder.
// The launcher's direct imports are KERNEL32.dll and the C runtime's API
// sets; KERNEL32 is a known DLL, but the runtime's ucrtbase.dll is not.
// Nothing else of the directory is used: no security cookie, no
// control-flow guard, no safe exception handler table (none exists on x64).
#include <stddef.h>
#include <windows.h>

namespace {

// The 64-bit layout up to the exception handler count; the loader reads
// only the fields that Size covers.
struct load_configuration {
    DWORD Size;
    DWORD TimeDateStamp;
    WORD MajorVersion;
    WORD MinorVersion;
    DWORD GlobalFlagsClear;
    DWORD GlobalFlagsSet;
    DWORD CriticalSectionDefaultTimeout;
    ULONGLONG DeCommitFreeBlockThreshold;
    ULONGLONG DeCommitTotalFreeThreshold;
    ULONGLONG LockPrefixTable;
    ULONGLONG MaximumAllocationSize;
    ULONGLONG VirtualMemoryThreshold;
    ULONGLONG ProcessAffinityMask;
    DWORD ProcessHeapFlags;
    WORD CSDVersion;
    WORD DependentLoadFlags;
    ULONGLONG EditList;
    ULONGLONG SecurityCookie;
    ULONGLONG SEHandlerTable;
    ULONGLONG SEHandlerCount;
};

static_assert(offsetof(load_configuration, DependentLoadFlags) == 0x4E);
static_assert(sizeof(load_configuration) == 0x70 && sizeof(load_configuration) == sizeof(IMAGE_LOAD_CONFIG_DIRECTORY64));
static_assert(LOAD_LIBRARY_SEARCH_SYSTEM32 == 0x800);

} // namespace

// Found by the linker under this name (the link includes it by name); it
// fills the directory entry with the address and the Size field.
extern "C" const load_configuration _load_config_used = {
    .Size = sizeof(load_configuration),
    .DependentLoadFlags = LOAD_LIBRARY_SEARCH_SYSTEM32,
};

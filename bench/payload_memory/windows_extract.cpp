// Extracts a stored payload with the launcher's reader and entry loop, the
// payload mapped read-only as it would be in the image, and prints the
// memory figures of the process.
//
//   payload_memory_bench STORED TARGET_DIRECTORY
#include <stdio.h>
#include <windows.h>
#include <psapi.h>

#include "bench/common/process_memory.hpp"
#include "payload/entry_loop.hpp"
#include "payload/payload_reader.hpp"
#include "payload/payload_reader_state.hpp"

static void print_memory(const char *when)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return;
    printf("%s_working_set %zu\n%s_peak_working_set %zu\n%s_committed_private %zu\n", when,
           counters.WorkingSetSize, when, counters.PeakWorkingSetSize, when,
           static_cast<size_t>(committed_private_bytes()));
}

int wmain(int argc, wchar_t **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: payload_memory_bench STORED TARGET_DIRECTORY\n"
                        "  extracts STORED below TARGET_DIRECTORY and prints dctx_bytes, and the process's\n"
                        "  working set, its peak and its committed private bytes before and after\n");
        return 2;
    }
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER size = {};
    if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size)) {
        fprintf(stderr, "payload_memory_bench: cannot open %ls\n", argv[1]);
        return 1;
    }
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    const void *view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (view == nullptr) {
        fprintf(stderr, "payload_memory_bench: cannot map %ls\n", argv[1]);
        return 1;
    }
    print_memory("before");
    open_payload_bytes(static_cast<const uint8_t *>(view), static_cast<uint64_t>(size.QuadPart));
    static wide_path main_library_path;
    run_entry_loop(argv[2], main_library_path, entry_loop_mode::unpack_all);
    printf("dctx_bytes %zu\n", ZSTD_sizeof_DCtx(payload_reader.context));
    print_memory("extracted");
    close_payload();
    return 0;
}

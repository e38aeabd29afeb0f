// Times the launcher's own reader and entry loop over the payload of a
// packed launcher, mapped read-only, where bench/common/payload_layout.py
// says it lies.
//
//   pack_levels_timer LAUNCHER.exe PAYLOAD_OFFSET PAYLOAD_LENGTH extract TARGET_DIRECTORY
//       unpack every entry (the parent's loop, frame finished), print
//       "extract_seconds S"
//   pack_levels_timer LAUNCHER.exe PAYLOAD_OFFSET PAYLOAD_LENGTH decode
//       read every record without writing it, print "decode_seconds S"
//       (up to the end marker) and "finish_seconds S" (finish_payload)
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "bench/common/mapped_payload.hpp"
#include "payload/entry_file.hpp"
#include "payload/entry_loop.hpp"
#include "payload/payload_reader.hpp"

static double now_seconds()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

static uint64_t read_u64()
{
    uint8_t bytes[8];
    read_payload(bytes, 8);
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

int wmain(int argc, wchar_t **argv)
{
    bool extract = argc == 6 && wcscmp(argv[4], L"extract") == 0;
    if (!extract && !(argc == 5 && wcscmp(argv[4], L"decode") == 0)) {
        fprintf(stderr, "usage: pack_levels_timer LAUNCHER.exe PAYLOAD_OFFSET PAYLOAD_LENGTH "
                        "extract TARGET | decode\n");
        return 2;
    }
    mapped_payload payload = map_payload(argv[1], argv[2], argv[3]);
    if (payload.bytes == nullptr) {
        fprintf(stderr, "pack_levels_timer: no payload at that offset and length in %ls\n", argv[1]);
        return 1;
    }
    double start = now_seconds();
    open_payload_bytes(payload.bytes, payload.length);
    if (extract) {
        static wide_path main_library_path;
        run_entry_loop(argv[5], main_library_path, entry_loop_mode::unpack_all);
        close_payload();
        printf("extract_seconds %.3f\n", now_seconds() - start);
        return 0;
    }
    static uint8_t chunk[write_buffer_size];
    for (;;) {
        uint16_t unit = 1;
        size_t units = 0;
        while (unit != 0) {
            read_payload(&unit, 2);
            ++units;
        }
        if (units == 1)
            break;
        for (uint64_t left = read_u64(); left > 0;) {
            uint64_t n = left < sizeof chunk ? left : sizeof chunk;
            read_payload(chunk, n);
            left -= n;
        }
    }
    double decoded = now_seconds();
    finish_payload();
    double finished = now_seconds();
    close_payload();
    printf("decode_seconds %.3f\nfinish_seconds %.6f\n", decoded - start, finished - decoded);
    return 0;
}

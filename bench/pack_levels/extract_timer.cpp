// Times the launcher's own reader and entry loop over the payload of a
// packed launcher, mapped as the loader maps it: from the first byte of the
// image's .rdata.
//
//   pack_levels_timer LAUNCHER.exe extract TARGET_DIRECTORY
//       unpack every entry (the parent's loop, frame finished), print
//       "extract_seconds S"
//   pack_levels_timer LAUNCHER.exe decode
//       read every record without writing it, print "decode_seconds S"
//       (up to the end marker) and "finish_seconds S" (finish_payload)
#include <stdio.h>
#include <string.h>
#include <windows.h>

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

static uint32_t le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

// The stored payload at the start of .rdata, or null.
static const uint8_t *rdata_start(const uint8_t *image, uint64_t size, uint64_t &length)
{
    if (size < 0x40 || image[0] != 'M' || image[1] != 'Z')
        return nullptr;
    const uint8_t *coff = image + le32(image + 0x3C) + 4;
    unsigned sections = coff[2] | coff[3] << 8;
    unsigned optional = coff[16] | coff[17] << 8;
    const uint8_t *table = coff + 20 + optional;
    for (unsigned i = 0; i < sections; ++i) {
        const uint8_t *s = table + 40 * i;
        if (memcmp(s, ".rdata\0", 7) == 0) {
            length = le32(s + 16);
            return image + le32(s + 20);
        }
    }
    return nullptr;
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
    if (argc < 3 || (wcscmp(argv[2], L"extract") == 0 && argc != 4)) {
        fprintf(stderr, "usage: pack_levels_timer LAUNCHER.exe extract TARGET | decode\n");
        return 2;
    }
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER size = {};
    HANDLE mapping = file != INVALID_HANDLE_VALUE && GetFileSizeEx(file, &size)
                         ? CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr)
                         : nullptr;
    const uint8_t *view = mapping ? static_cast<const uint8_t *>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) : nullptr;
    uint64_t length = 0;
    const uint8_t *payload = view ? rdata_start(view, static_cast<uint64_t>(size.QuadPart), length) : nullptr;
    if (payload == nullptr) {
        fprintf(stderr, "pack_levels_timer: no launcher payload in %ls\n", argv[1]);
        return 1;
    }
    double start = now_seconds();
    open_payload_bytes(payload, length);
    if (wcscmp(argv[2], L"extract") == 0) {
        static wide_path main_library_path;
        run_entry_loop(argv[3], main_library_path, entry_loop_mode::unpack_all);
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

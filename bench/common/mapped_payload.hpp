// A launcher's stored payload for the bench's Windows programs: the file
// mapped read-only, the payload at the offset and with the length that
// bench/common/payload_layout.py found, given on the command line. The
// programs read no image headers of their own.
#pragma once

#include <stdint.h>
#include <wchar.h>
#include <windows.h>

struct mapped_payload {
    const uint8_t *bytes; // null when the payload could not be mapped
    uint64_t length;
};

// A decimal count, or false when TEXT is anything else.
inline bool parse_count(const wchar_t *text, uint64_t &value)
{
    if (*text < L'0' || *text > L'9')
        return false;
    wchar_t *end = nullptr;
    value = wcstoull(text, &end, 10);
    return *end == 0;
}

// The payload of the file at PATH, OFFSET_TEXT bytes in, LENGTH_TEXT bytes
// long; null bytes when a count is not one, the range passes the end of the
// file, or the file cannot be mapped. The mapping lasts as long as the
// process.
inline mapped_payload map_payload(const wchar_t *path, const wchar_t *offset_text, const wchar_t *length_text)
{
    uint64_t offset = 0, length = 0;
    if (!parse_count(offset_text, offset) || !parse_count(length_text, length))
        return {};
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER size = {};
    if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size))
        return {};
    uint64_t file_size = static_cast<uint64_t>(size.QuadPart);
    if (offset > file_size || length > file_size - offset)
        return {};
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    const void *view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (view == nullptr)
        return {};
    return {static_cast<const uint8_t *>(view) + offset, length};
}

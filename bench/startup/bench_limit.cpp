// The limit: the least work that unpacking a launcher's payload can cost.
// A minimal streaming decoder over the very frame a packed launcher carries,
// in three variants:
//
//   bench_limit MODE LAUNCHER.exe PAYLOAD_OFFSET PAYLOAD_LENGTH
//
//   decode      decode the stream, parse its records
//   write       also write every file under a fresh directory in %TEMP%,
//               and leave it there
//   remove      write, then remove the directory by a plain walk of the tree
//   write-32k   write, each file in pieces of at most 32,768 bytes, as the
//               launcher does
//
// The stored payload lies where bench/common/payload_layout.py says. Files
// are written with the launcher's calls (CreateDirectoryW, CreateFileW with
// CREATE_ALWAYS, WriteFile, CloseHandle) straight from the decoder's output
// buffer, without a copy. Prints the target directory (write) or nothing.
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

#include <zstd.h>

#include "bench/common/mapped_payload.hpp"

constexpr size_t path_units = 4096;

[[noreturn]] static void fail(const char *what, DWORD code)
{
    fprintf(stderr, "bench_limit: %s (error %lu)\n", what, code);
    ExitProcess(2);
}

enum class mode { decode, write, remove };

static mode run_mode;
static size_t write_limit = ~size_t{0}; // the largest piece one WriteFile takes
static wchar_t target[path_units];
static size_t target_length;
static wchar_t path[path_units];    // target + "\" + name of the current record
static size_t directory_units;      // length of the current record's directory part in path
static wchar_t last_directory[path_units];
static HANDLE file = INVALID_HANDLE_VALUE;

// Creates the directories of the current record's path, top down, unless
// the previous record lay in the same one.
static void make_directories()
{
    if (directory_units <= target_length)
        return;
    if (wcsncmp(last_directory, path, directory_units) == 0 && last_directory[directory_units] == 0)
        return;
    for (size_t i = target_length + 1; i <= directory_units; ++i) {
        if (path[i] != L'\\' && i != directory_units)
            continue;
        wchar_t saved = path[i];
        path[i] = 0;
        if (!CreateDirectoryW(path, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            fail("cannot create a directory", GetLastError());
        path[i] = saved;
    }
    wmemcpy(last_directory, path, directory_units);
    last_directory[directory_units] = 0;
}

static void open_record()
{
    if (run_mode == mode::decode)
        return;
    make_directories();
    file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        fail("cannot open a file for writing", GetLastError());
}

static void write_record(const uint8_t *bytes, size_t count)
{
    if (run_mode == mode::decode)
        return;
    while (count > 0) {
        DWORD piece = static_cast<DWORD>(count < write_limit ? count : write_limit);
        DWORD written = 0;
        if (!WriteFile(file, bytes, piece, &written, nullptr) || written != piece)
            fail("cannot write", GetLastError());
        bytes += piece, count -= piece;
    }
}

static void close_record()
{
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
}

// The record parser, fed with whatever the decoder produced.
static enum class state { name, size, content, done } parse_state = state::name;
static size_t name_units;
static uint8_t pending[8];
static size_t pending_bytes;
static uint64_t remaining;

static void parse(const uint8_t *bytes, size_t count)
{
    while (count > 0 && parse_state != state::done) {
        if (parse_state == state::content) {
            size_t take = remaining < count ? static_cast<size_t>(remaining) : count;
            write_record(bytes, take);
            bytes += take, count -= take, remaining -= take;
            if (remaining == 0) {
                close_record();
                parse_state = state::name;
            }
            continue;
        }
        pending[pending_bytes++] = *bytes++;
        --count;
        if (parse_state == state::name && pending_bytes == 2) {
            wchar_t unit = static_cast<wchar_t>(pending[0] | pending[1] << 8);
            pending_bytes = 0;
            if (unit == 0 && name_units == 0) {
                parse_state = state::done;
            } else if (unit == 0) {
                path[target_length + 1 + name_units] = 0;
                directory_units = target_length;
                for (size_t i = target_length + 1; i < target_length + 1 + name_units; ++i)
                    if (path[i] == L'\\')
                        directory_units = i;
                name_units = 0;
                parse_state = state::size;
            } else {
                if (target_length + 2 + name_units >= path_units)
                    fail("name too long", 0);
                path[target_length + 1 + name_units++] = unit;
            }
        } else if (parse_state == state::size && pending_bytes == 8) {
            remaining = 0;
            for (size_t i = 8; i > 0; --i)
                remaining = remaining << 8 | pending[i - 1];
            pending_bytes = 0;
            open_record();
            if (remaining == 0) {
                close_record();
                parse_state = state::name;
            } else {
                parse_state = state::content;
            }
        }
    }
}

// Removes a directory and everything below it: a plain walk of the tree.
static void remove_tree(wchar_t *folder, size_t length)
{
    if (length + 3 >= path_units)
        fail("path too long", 0);
    wcscpy(folder + length, L"\\*");
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW(folder, FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const wchar_t *name = found.cFileName;
            if (wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0)
                continue;
            size_t name_length = wcslen(name);
            if (length + 1 + name_length >= path_units)
                fail("path too long", 0);
            folder[length] = L'\\';
            wcscpy(folder + length + 1, name);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                remove_tree(folder, length + 1 + name_length);
            else if (!DeleteFileW(folder))
                fail("cannot delete a file", GetLastError());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    folder[length] = 0;
    if (!RemoveDirectoryW(folder))
        fail("cannot remove a directory", GetLastError());
}

int wmain(int argc, wchar_t **argv)
{
    if (argc != 5 || (wcscmp(argv[1], L"decode") != 0 && wcscmp(argv[1], L"write") != 0 &&
                      wcscmp(argv[1], L"write-32k") != 0 && wcscmp(argv[1], L"remove") != 0)) {
        fprintf(stderr, "usage: bench_limit decode|write|write-32k|remove LAUNCHER.exe PAYLOAD_OFFSET "
                        "PAYLOAD_LENGTH\n");
        return 2;
    }
    run_mode = wcscmp(argv[1], L"decode") == 0   ? mode::decode
               : wcscmp(argv[1], L"remove") == 0 ? mode::remove
                                                 : mode::write;
    if (wcscmp(argv[1], L"write-32k") == 0)
        write_limit = 32768;
    mapped_payload payload = map_payload(argv[2], argv[3], argv[4]);
    if (payload.bytes == nullptr)
        fail("cannot map the payload at that offset and length", GetLastError());
    if (payload.length < 3 || memcmp(payload.bytes, "JWX", 3) != 0)
        fail("no payload at that offset", 0);

    // A fresh directory under %TEMP%, as the launcher makes one.
    target_length = GetTempPathW(path_units, target);
    if (target_length == 0 || target_length >= path_units - 64)
        fail("no temporary folder", GetLastError());
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    target_length += swprintf(target + target_length, path_units - target_length, L"limit_%lu_%lld",
                              GetCurrentProcessId(), now.QuadPart);
    if (run_mode != mode::decode && !CreateDirectoryW(target, nullptr))
        fail("cannot create the target directory", GetLastError());
    wmemcpy(path, target, target_length);
    path[target_length] = L'\\';

    ZSTD_DCtx *context = ZSTD_createDCtx();
    size_t out_size = ZSTD_DStreamOutSize();
    uint8_t *out = static_cast<uint8_t *>(malloc(out_size));
    if (context == nullptr || out == nullptr)
        fail("out of memory", 0);
    ZSTD_inBuffer in = {payload.bytes + 3, static_cast<size_t>(payload.length - 3), 0};
    size_t result = 1;
    while (parse_state != state::done && result != 0) {
        ZSTD_outBuffer buffer = {out, out_size, 0};
        result = ZSTD_decompressStream(context, &buffer, &in);
        if (ZSTD_isError(result))
            fail(ZSTD_getErrorName(result), 0);
        parse(out, buffer.pos);
        if (buffer.pos == 0 && in.pos == in.size && result != 0)
            fail("the frame ends early", 0);
    }
    if (parse_state != state::done)
        fail("the stream has no end marker", 0);
    ZSTD_freeDCtx(context);
    free(out);

    if (run_mode == mode::write)
        printf("%ls\n", target);
    if (run_mode == mode::remove)
        remove_tree(target, target_length);
    return 0;
}

#include "launcher/process_list.hpp"

#include <stdlib.h>
#include <winternl.h>

// The list grows with the processes and threads of the whole system, so it
// is read into a heap buffer as large as the system asks for, with room for
// processes that start in between.
constexpr ULONG first_list_bytes = 256 * 1024;
constexpr ULONG list_room_bytes = 64 * 1024;
constexpr int list_attempts = 8;
constexpr NTSTATUS status_info_length_mismatch = static_cast<NTSTATUS>(0xC0000004);

static void *process_list;

bool take_process_list()
{
    release_process_list();
    ULONG bytes = first_list_bytes;
    for (int attempt = 0; attempt < list_attempts; ++attempt) {
        process_list = malloc(bytes);
        if (process_list == nullptr)
            return false;
        ULONG needed = 0;
        NTSTATUS status = NtQuerySystemInformation(SystemProcessInformation, process_list, bytes, &needed);
        if (status >= 0)
            return true;
        release_process_list();
        if (status != status_info_length_mismatch || needed > MAXLONG - list_room_bytes)
            return false;
        bytes = needed > bytes ? needed + list_room_bytes : bytes * 2;
    }
    return false;
}

bool find_listed_process(DWORD id, listed_process &entry)
{
    if (process_list == nullptr)
        return false;
    auto *at = static_cast<const uint8_t *>(process_list);
    for (;;) {
        auto *process = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION *>(at);
        if (static_cast<DWORD>(reinterpret_cast<uintptr_t>(process->UniqueProcessId)) == id) {
            entry.id = id;
            entry.creator = static_cast<DWORD>(reinterpret_cast<uintptr_t>(process->InheritedFromUniqueProcessId));
            entry.created = static_cast<uint64_t>(process->CreateTime.QuadPart);
            entry.image_name = process->ImageName.Buffer;
            entry.image_name_units = process->ImageName.Length / sizeof(wchar_t);
            return true;
        }
        if (process->NextEntryOffset == 0)
            return false;
        at += process->NextEntryOffset;
    }
}

void release_process_list()
{
    free(process_list);
    process_list = nullptr;
}

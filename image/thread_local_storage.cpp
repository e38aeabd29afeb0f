// The image's thread-local-storage directory: an 8-byte zero template in
// .tls and two callbacks that the system calls as each thread starts and
// ends (also the thread on which a console control event arrives). The
// launcher declares no thread-local variables, so the callbacks have
// nothing of the launcher's to do; the directory is the runtime's place for
// per-thread set-up and tear-down.
#include <windows.h>

extern "C" {
// Written by the loader: this image's slot in each thread's storage array.
ULONG _tls_index = 0;
}

namespace {

// The template every thread's storage is copied from. Assembled as data (not
// zero-fill) so that .tls holds its 8 bytes.
alignas(8) __attribute__((section(".tls"), used)) volatile unsigned long long tls_template = 0;

void NTAPI thread_started(void *, DWORD, void *) {}
void NTAPI thread_ended(void *, DWORD, void *) {}

const PIMAGE_TLS_CALLBACK tls_callbacks[] = {thread_started, thread_ended, nullptr};

} // namespace

// Found by the linker under this name; it fills the directory entry.
extern "C" const IMAGE_TLS_DIRECTORY64 _tls_used = {
    reinterpret_cast<ULONGLONG>(&tls_template),
    reinterpret_cast<ULONGLONG>(&tls_template + 1),
    reinterpret_cast<ULONGLONG>(&_tls_index),
    reinterpret_cast<ULONGLONG>(tls_callbacks),
    0,
    0,
};

// The entry point of a console launcher (subsystem 3, tarvek-pack
// --console): the system calls it without arguments. The runtime is told
// the program is a console one; everything else is a windowed launcher's
// start-up.
#include "image/startup.hpp"

extern "C" [[noreturn]] __attribute__((section(TARVEK_ENTRY_SECTION))) void tarvek_console_entry()
{
    run_startup(_crt_console_app);
}

// The entry point of a windowed launcher (subsystem 2), the default: the
// system calls it without arguments.
#include "image/startup.hpp"

extern "C" [[noreturn]] __attribute__((section(TARVEK_ENTRY_SECTION))) void tarvek_image_entry()
{
    run_startup(_crt_gui_app);
}

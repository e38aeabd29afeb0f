// The program an adapter library starts: its path relative to the
// application folder, backslashes between the folders, as the payload names
// it. Defined per launcher at link time, in an object of its own that the
// packer writes, and exported by name (link_settings.txt), so that tools
// read from the library which program a launcher runs.
#pragma once

extern "C" {
extern const wchar_t tarvek_run_program[];
}

// The synthetic application as an ordinary program, which a launcher packed
// with --run starts: returns at once, after noting when it was entered
// (entry_stamp.hpp), as the main library does.
#include "bench/startup/entry_stamp.hpp"

int wmain()
{
    return write_entry_stamp();
}

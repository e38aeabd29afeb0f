// Interrupt, termination and hang-up signals during long work: they set a
// flag instead of ending the process, and the work stops at its next step,
// with its work folder removed (common/work_folder.hpp).
#pragma once

namespace tarvek {

struct interrupted_error {
    int signal;
};

// From now on the three signals only set the flag.
void catch_interruptions();
// Throws interrupted_error once one of them has come.
void stop_if_interrupted();

} // namespace tarvek

#include "adapter/console_events.hpp"

#include <atomic>

// Read by the handler's thread, which the system starts for each event.
static std::atomic<HANDLE> program_for_events;

static BOOL WINAPI program_console_event(DWORD event)
{
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)
        return TRUE;
    HANDLE program = program_for_events.load();
    if (program != nullptr)
        WaitForSingleObject(program, INFINITE);
    return FALSE;
}

bool leave_console_events_to_the_program()
{
    return SetConsoleCtrlHandler(program_console_event, TRUE) != 0;
}

void set_program_for_console_events(HANDLE program)
{
    program_for_events.store(program);
}

void take_back_console_events()
{
    SetConsoleCtrlHandler(program_console_event, FALSE);
}

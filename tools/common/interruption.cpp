#include "common/interruption.hpp"

#include <csignal>
#include <initializer_list>

namespace tarvek {

namespace {

volatile std::sig_atomic_t interruption = 0;

extern "C" void note_interruption(int signal) { interruption = signal; }

} // namespace

void catch_interruptions()
{
    struct sigaction action = {};
    action.sa_handler = note_interruption;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

void stop_if_interrupted()
{
    if (interruption != 0)
        throw interrupted_error{interruption};
}

} // namespace tarvek

#pragma once
// Two pieces of work at once, on two cores: one core alone reads memory well
// below its speed, and the window waits for the larger reads and scans.

#include <exception>
#include <system_error>
#include <thread>

namespace jet_engine {

// Runs `here` on the calling thread and `there` on a helper thread at once,
// and returns once both have ended; an exception from either is thrown again
// then. Both run here, one after the other, when no thread can be had.
template <typename Here, typename There>
void atOnce(Here here, There there)
{
    std::exception_ptr failed;
    std::thread helper;
    try {
        helper = std::thread([&] {
            try {
                there();
            } catch (...) {
                failed = std::current_exception();
            }
        });
    } catch (const std::system_error &) {
        here();
        there();
        return;
    }
    {
        // Joined however `here` ends, exceptions included.
        struct Joiner {
            std::thread &thread;
            ~Joiner() { thread.join(); }
        } joiner{helper};
        here();
    }
    if (failed)
        std::rethrow_exception(failed);
}

} // namespace jet_engine

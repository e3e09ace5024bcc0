#pragma once
// The window's handlers follow the program's convention for failure: a step
// that fails is abandoned, the next one runs, and the user sees no message.
// Running out of memory in one step must not end the program from inside a
// Qt slot, which cannot let an exception through.

#include <exception>

namespace search_window {

template <typename Step>
void guardedStep(Step &&step) noexcept
{
    try {
        step();
    } catch (const std::exception &) {
        // Skipped, as the convention has it.
    }
}

} // namespace search_window

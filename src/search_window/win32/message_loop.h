#pragma once
// The program's message loop. Each message passes through the dialog
// manager's keyboard handling first, as in a dialog box: Tab and Shift+Tab
// move between the controls, Alt with a caption's underlined letter presses
// its button, Enter presses the focused button.

#include "search_window/win32/windows_api.h"

namespace search_window {

// Hands one message taken from the queue to the form's keyboard handling,
// else to the window it is for.
void deliverMessage(HWND form, MSG &message);

// Runs until the program's end is asked for; returns its exit code.
int runMessageLoop(HWND form);

} // namespace search_window

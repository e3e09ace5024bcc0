#include "search_window/win32/message_loop.h"

namespace search_window {

void deliverMessage(HWND form, MSG &message)
{
    if (form && IsWindow(form) && IsDialogMessageW(form, &message))
        return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

int runMessageLoop(HWND form)
{
    MSG message;
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0)
            return static_cast<int>(message.wParam);
        // Only an invalid window handle makes GetMessage fail, and none is passed.
        if (got == -1)
            return 1;
        deliverMessage(form, message);
    }
}

} // namespace search_window

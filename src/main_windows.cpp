#include "article_database/module1.h"
#include "search_window/win32/form1.h"
#include "search_window/win32/message_loop.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand)
{
    article_database::Module1 module;
    const auto form = search_window::Form1::create(module);
    if (!form)
        return 1;
    form->show(showCommand);
    return search_window::runMessageLoop(form->window());
}

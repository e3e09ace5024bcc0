#include "search_window/form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    search_window::Form1 form;
    form.show();
    return app.exec();
}

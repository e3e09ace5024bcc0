#include "article_database/module1.h"
#include "search_window/qt/form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(FICHE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("fiche-article"));
    article_database::Module1 module;
    search_window::Form1 form(module);
    form.show();
    return app.exec();
}

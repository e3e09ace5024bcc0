#include "article_database/module1.h"
#include "search_window/form1.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

// Answered before the window's application starts, so that they work
// without a display; every other argument is Qt's.
bool answeredFromCommandLine(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("fiche-article " FICHE_VERSION);
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::puts("usage: fiche-article [Qt options]\n"
                      "       fiche-article --help | --version\n"
                      "\n"
                      "Finds articles by part of their designation in\n"
                      "$WINEPREFIX/drive_c/VANTORELISK/TABLEARTICLE.MDB (~/.wine without\n"
                      "WINEPREFIX), letter case of the path ignored. See fiche-article(1).");
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (answeredFromCommandLine(argc, argv))
        return std::fflush(stdout) == 0 ? 0 : 1;
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(FICHE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("fiche-article"));
    article_database::Module1 module;
    search_window::Form1 form(module);
    form.show();
    return app.exec();
}

#include "article_database/module1.h"

#include "article_database/query/text_fold.h"

#include <cstdlib>
#include <filesystem>
#include <initializer_list>

namespace article_database {

namespace {

#ifndef _WIN32
// The entry of `directory` named `name` regardless of letter case, as
// Windows programs running under Wine see it. An exact match wins; without
// any match, the name as written.
std::string resolveComponent(const std::filesystem::path &directory, const std::string &name)
{
    std::error_code error;
    if (std::filesystem::exists(directory / name, error))
        return name;
    std::string best;
    std::filesystem::directory_iterator it(directory, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::string candidate = it->path().filename().string();
        if (sameName(candidate, name) && (best.empty() || candidate < best))
            best = candidate;
    }
    return best.empty() ? name : best;
}
#endif

} // namespace

std::string databasePath()
{
#ifdef _WIN32
    return "C:\\VANTORELISK\\TABLEARTICLE.MDB";
#else
    std::filesystem::path path;
    const char *winePrefix = std::getenv("WINEPREFIX");
    if (winePrefix && *winePrefix) {
        path = winePrefix;
    } else {
        const char *home = std::getenv("HOME");
        path = std::filesystem::path(home ? home : "") / ".wine";
    }
    for (const char *component : {"drive_c", "VANTORELISK", "TABLEARTICLE.MDB"})
        path /= resolveComponent(path, component);
    return path.string();
#endif
}

void Module1::OUVRIR_BASE()
{
    try {
        if (!m_engine)
            m_engine = std::make_unique<Engine>();
        auto database = m_engine->openDatabase(databasePath(), false, false);
        if (database.ok())
            BaseArticle = std::move(database.value());
    } catch (...) {
        // The program starts without a database rather than not at all.
    }
}

void Module1::ouvrirTableArticle()
{
    try {
        if (!BaseArticle)
            return;
        auto table = BaseArticle->openRecordset(u"ARTICLE");
        if (table.ok())
            RsArticle = std::move(table.value());
    } catch (...) {
        // As with the database: the window opens with no current set.
    }
}

} // namespace article_database

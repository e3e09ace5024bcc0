#include "article_database/module1.h"

#include "jet_engine/platform/operating_system.h"

namespace article_database {

using jet_engine::Engine;
using jet_engine::OperatingSystem;
using jet_engine::operatingSystem;

std::string databasePath(OperatingSystem &system) { return system.windowsPath("C:\\VANTORELISK\\TABLEARTICLE.MDB"); }

Module1::Module1() : Module1(operatingSystem()) {}

Module1::Module1(OperatingSystem &system) : m_system(system) {}

void Module1::OUVRIR_BASE()
{
    try {
        if (!m_engine)
            m_engine = std::make_unique<Engine>(m_system);
        auto database = m_engine->openDatabase(databasePath(m_system), false, false);
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
        // Searches look for designations, in column ARTICLE: the engine
        // reads and indexes it now, off the window's thread, which saves the
        // first search most of its wait. Asked after the open, which must
        // not wait for that read.
        BaseArticle->prepare(u"ARTICLE", u"ARTICLE");
    } catch (...) {
        // As with the database: the window opens with no current set.
    }
}

} // namespace article_database

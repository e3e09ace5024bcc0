#pragma once
// The program's module-level state: its one database connection and its one
// current result set, shared by the window's handlers.

#include "engine.h"

#include <memory>
#include <optional>
#include <string>

namespace article_database {

// Where the fixed database path "C:\VANTORELISK\TABLEARTICLE.MDB" lives on this
// system. On Windows that path itself; elsewhere the C: drive of the Wine
// prefix ($WINEPREFIX, or ~/.wine), each component matched without regard to
// letter case. Returns the path to try even when nothing exists there.
std::string databasePath();

class Module1 {
public:
    std::shared_ptr<Database> BaseArticle;
    std::shared_ptr<Recordset> RsArticle;

    // Opens the database into BaseArticle; silent on failure.
    void OUVRIR_BASE();
    // Form_Load's step: RsArticle = BaseArticle.OpenRecordset("ARTICLE").
    void ouvrirTableArticle();
    // Created on first use, at most once per Module1.
    bool engineCreated() const { return m_engine != nullptr; }
    // How many times OUVRIR_BASE asked the engine to open the database.
    int openCount() const { return m_openCount; }

private:
    std::unique_ptr<Engine> m_engine;
    int m_openCount = 0;
};

} // namespace article_database

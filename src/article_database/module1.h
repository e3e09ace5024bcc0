#pragma once
// The program's module-level state: its one database connection and its one
// current result set, shared by the window's handlers.

#include "jet_engine/engine.h"

#include <memory>
#include <optional>
#include <string>

namespace article_database {

// Where the fixed database path "C:\VANTORELISK\TABLEARTICLE.MDB" lives on
// `system` (OperatingSystem::windowsPath). Returns the path to try even when
// nothing exists there.
std::string databasePath(jet_engine::OperatingSystem &system);

class Module1 {
public:
    // On this system.
    Module1();
    // On `system`, which must outlive the module.
    explicit Module1(jet_engine::OperatingSystem &system);

    std::shared_ptr<jet_engine::Database> BaseArticle;
    std::shared_ptr<jet_engine::Recordset> RsArticle;

    // Opens the database into BaseArticle; silent on failure.
    void OUVRIR_BASE();
    // Form_Load's step: RsArticle = BaseArticle.OpenRecordset("ARTICLE").
    void ouvrirTableArticle();

private:
    jet_engine::OperatingSystem &m_system;
    std::unique_ptr<jet_engine::Engine> m_engine;
};

} // namespace article_database

#include "search_window/search_steps.h"

#include "article_database/module1.h"
#include "search_window/article_grid.h"
#include "search_window/guarded_step.h"

namespace search_window {

void RechGeneral_Change(article_database::Module1 &module, ArticleGrid &G, std::u16string_view text,
                        UpperCase upperCase) noexcept
{
    guardedStep([&] { REMPLIR_ARTICLEGENERAL(module, G, upperCase(text)); });
}

// Every step after the first is guarded: one that fails is skipped and the
// next runs, and the user never sees a message.
void REMPLIR_ARTICLEGENERAL(article_database::Module1 &module, ArticleGrid &G, std::u16string_view PartTxT)
{
    if (PartTxT.size() < 2)
        return;

    // Doubling the apostrophe keeps it inside the quoted pattern; the other
    // pattern characters are left for the user to use.
    std::u16string query;
    guardedStep([&] {
        std::u16string text = u"SELECT * FROM ARTICLE Where ARTICLE like '*";
        for (const char16_t unit : PartTxT) {
            text += unit;
            if (unit == u'\'')
                text += u'\'';
        }
        text += u"*'";
        query = std::move(text);
    });

    // A failed open must not leave the start-up table current, or the whole
    // table would be listed as if it matched.
    auto &rs = module.RsArticle;
    rs.reset();
    guardedStep([&] {
        if (query.empty() || !module.BaseArticle)
            return;
        auto opened = module.BaseArticle->openRecordset(query);
        if (opened.ok())
            rs = std::move(opened.value());
    });

    guardedStep([&] { G.beginUpdate(); });
    guardedStep([&] { G.setRows(1); });
    if (rs) {
        guardedStep([&] { rs->moveFirst(); });
        // The set's first field over its rows, in one step: a set with no
        // faster way walks itself as the form's loop did (EOF, Fields,
        // MoveNext), and the run keeps the text the grid shows alive.
        guardedStep([&] {
            const auto run = rs->restOfField(0);
            if (run.ok())
                G.AddItems(run.value());
        });
    }
    rs.reset();
    guardedStep([&] { G.endUpdate(); });
}

} // namespace search_window

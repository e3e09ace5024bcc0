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
    // The grid's rows are views into the set's storage: without it to keep
    // them alive, nothing can be listed.
    std::shared_ptr<const void> keepAlive;
    if (rs)
        guardedStep([&] { keepAlive = rs->storage(); });
    if (rs && keepAlive) {
        guardedStep([&] { rs->moveFirst(); });
        // A set that gives its rows' first field in one step spares the walk
        // below its four calls a row, most of a large answer's time; it is
        // then past its last row, and the walk lists nothing more.
        guardedStep([&] {
            const auto run = rs->restOfField(0);
            if (run.ok())
                G.AddItems(run.value());
        });
        // A failed end test or move ends the listing: skipping either would
        // list the same row again and again.
        const auto atEnd = [&] {
            bool end = true;
            guardedStep([&] {
                const auto eof = rs->eof();
                end = !eof.ok() || eof.value();
            });
            return end;
        };
        const auto moveNext = [&] {
            bool moved = false;
            guardedStep([&] { moved = rs->moveNext() == jet_engine::Status::Ok; });
            return moved;
        };
        while (!atEnd()) {
            guardedStep([&] {
                const auto value = rs->field(0);
                if (value.ok() && !value.value().isNull())
                    G.AddItem(value.value(), keepAlive);
            });
            if (!moveNext())
                break;
        }
    }
    rs.reset();
    guardedStep([&] { G.endUpdate(); });
}

} // namespace search_window

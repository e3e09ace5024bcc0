#include "search_window/form1.h"

#include "article_database/module1.h"
#include "search_window/grid.h"

namespace search_window {

namespace {

std::u16string_view utf16(const QString &text)
{
    return {reinterpret_cast<const char16_t *>(text.utf16()), static_cast<std::size_t>(text.size())};
}

} // namespace

// Every step after the first is guarded: one that fails is skipped and the
// next runs, and the user never sees a message.
void Form1::REMPLIR_ARTICLEGENERAL(const QString &PartTxT)
{
    if (PartTxT.size() < 2)
        return;

    // Doubling the apostrophe keeps it inside the quoted pattern; the other
    // pattern characters are left for the user to use.
    const QString query = QStringLiteral("SELECT * FROM ARTICLE Where ARTICLE like '*")
        + QString(PartTxT).replace(u'\'', QStringLiteral("''")) + QStringLiteral("*'");

    // A failed open must not leave the start-up table current, or the whole
    // table would be listed as if it matched.
    auto &rs = m_module.RsArticle;
    rs.reset();
    if (m_module.BaseArticle) {
        auto opened = m_module.BaseArticle->openRecordset(utf16(query));
        if (opened.ok())
            rs = std::move(opened.value());
    }

    G->beginUpdate();
    G->setRows(1);
    if (rs) {
        rs->moveFirst();
        const std::shared_ptr<const void> keepAlive = rs->storage();
        for (auto atEnd = rs->eof(); atEnd.ok() && !atEnd.value(); atEnd = rs->eof()) {
            const auto value = rs->field(0);
            if (value.ok() && !value.value().isNull())
                G->AddItem(value.value().text, keepAlive);
            if (rs->moveNext() != article_database::Status::Ok)
                break;
        }
    }
    rs.reset();
    G->endUpdate();
}

} // namespace search_window

#pragma once
// The search as the form's code does it, one home for both windows: they
// differ only in how the box's text reaches it and how the grid shows rows.

#include <string>
#include <string_view>

namespace article_database {
class Module1;
}

namespace search_window {

class ArticleGrid;

// The platform's upper-casing of the box's text, one character to one.
using UpperCase = std::u16string (*)(std::u16string_view text);

// The search box's change handler: the text upper-cased, then listed.
void RechGeneral_Change(article_database::Module1 &module, ArticleGrid &G, std::u16string_view text,
                        UpperCase upperCase) noexcept;

// Fills G with the first column of every article whose designation contains
// PartTxT; fewer than two characters change nothing.
void REMPLIR_ARTICLEGENERAL(article_database::Module1 &module, ArticleGrid &G, std::u16string_view PartTxT);

} // namespace search_window

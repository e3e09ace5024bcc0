#pragma once
// UTF-8 helpers and the case folding every comparison of the engine goes
// through: table and column names, LIKE patterns and the values they test.
// Folding is simple (one code point to one code point), so it never merges
// or splits characters and keeps accents: "É" folds to "é", never to "e".

#include <cstddef>
#include <string>
#include <string_view>

namespace article_database {

// Decodes the code point at `pos` and moves `pos` past it. Input is trusted
// to be UTF-8 we produced ourselves; a malformed byte decodes as U+FFFD.
char32_t nextCodePoint(std::string_view utf8, std::size_t &pos);

void appendUtf8(std::string &out, char32_t codePoint);

char32_t foldCase(char32_t codePoint);

void appendFolded(std::string &out, std::string_view utf8);
std::string folded(std::string_view utf8);

// Lone surrogates become U+FFFD.
std::string toUtf8(std::u16string_view utf16);

bool sameName(std::string_view a, std::string_view b);

} // namespace article_database

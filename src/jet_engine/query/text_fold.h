#pragma once
// The case folding every comparison of the engine goes through: table and
// column names, LIKE patterns and the values they test. Folding is simple (one code point to one code point), so it never merges
// or splits characters and keeps accents: "É" folds to "é", never to "e".

#include <string>
#include <string_view>

namespace jet_engine {

char32_t foldCase(char32_t codePoint);

void appendFolded(std::string &out, std::string_view utf8);
std::string folded(std::string_view utf8);

bool sameName(std::string_view a, std::string_view b);

} // namespace jet_engine

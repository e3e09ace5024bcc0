#pragma once
// Unicode's simple case folding (CaseFolding.txt, statuses C and S), from the
// table tools/make_case_fold_table.py generates into case_fold_table.cpp.

namespace jet_engine {

// What `codePoint` folds to; itself when it has no simple folding or lies
// beyond Unicode.
char32_t simpleCaseFold(char32_t codePoint);

// The Unicode version the table was made from, such as "15.0.0".
extern const char caseFoldUnicodeVersion[];

} // namespace jet_engine

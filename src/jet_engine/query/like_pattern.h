#pragma once
// A compiled Jet LIKE pattern. Compile once per query, then test values that
// have been case folded (appendFolded) the same way the pattern was.

#include "jet_engine/status.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace jet_engine {

class LikePattern {
public:
    // `pattern` is UTF-8 as written in the query (not folded).
    static Outcome<LikePattern> compile(std::string_view pattern);

    bool matches(std::string_view foldedValue) const;

    // For a pattern of the form "*literal*" (or stars only), the folded
    // literal (empty for stars only): then a value matches exactly when it
    // contains it, and a whole column can be scanned in one pass.
    std::optional<std::string_view> containedLiteral() const;

private:
    struct Range {
        char32_t first;
        char32_t last;
    };
    struct Token {
        enum class Kind : unsigned char { Literal, AnyOne, Digit, AnyRun, Set };
        Kind kind;
        bool negated = false;
        char32_t codePoint = 0;
        std::size_t rangesBegin = 0;
        std::size_t rangesEnd = 0;
    };

    LikePattern() = default;
    bool matchesTokens(std::string_view value) const;
    bool matchesLiterals(std::string_view value) const;
    bool matchesOne(const Token &token, char32_t cp) const;
    void deriveLiteralForm();

    std::vector<Token> m_tokens;
    std::vector<Range> m_ranges;

    // Set when the pattern holds only literals and stars: the literal runs
    // between the stars, folded, and whether the value's ends are pinned.
    bool m_literalOnly = false;
    bool m_hasStar = false;
    bool m_anchoredStart = false;
    bool m_anchoredEnd = false;
    std::vector<std::string> m_segments;
};

} // namespace jet_engine

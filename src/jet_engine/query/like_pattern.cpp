#include "jet_engine/query/like_pattern.h"

#include "jet_engine/query/text_fold.h"
#include "jet_engine/text/unicode_text.h"

namespace jet_engine {

Outcome<LikePattern> LikePattern::compile(std::string_view pattern)
{
    std::vector<char32_t> cps;
    for (std::size_t pos = 0; pos < pattern.size();)
        cps.push_back(nextCodePoint(pattern, pos));

    LikePattern result;
    auto &tokens = result.m_tokens;
    for (std::size_t i = 0; i < cps.size(); ++i) {
        const char32_t c = cps[i];
        if (c == '*') {
            if (tokens.empty() || tokens.back().kind != Token::Kind::AnyRun)
                tokens.push_back({Token::Kind::AnyRun});
        } else if (c == '?') {
            tokens.push_back({Token::Kind::AnyOne});
        } else if (c == '#') {
            tokens.push_back({Token::Kind::Digit});
        } else if (c == '[') {
            std::size_t close = i + 1;
            while (close < cps.size() && cps[close] != ']')
                ++close;
            if (close == cps.size())
                return Status::InvalidPattern;
            std::size_t j = i + 1;
            const bool negated = j < close && cps[j] == '!';
            if (negated)
                ++j;
            const std::size_t rangesBegin = result.m_ranges.size();
            while (j < close) {
                const char32_t first = foldCase(cps[j]);
                if (j + 2 < close && cps[j + 1] == '-') {
                    const char32_t last = foldCase(cps[j + 2]);
                    if (last < first)
                        return Status::InvalidPattern;
                    result.m_ranges.push_back({first, last});
                    j += 3;
                } else {
                    result.m_ranges.push_back({first, first});
                    ++j;
                }
            }
            const std::size_t rangesEnd = result.m_ranges.size();
            if (rangesBegin == rangesEnd && !negated) {
                // "[]" stands for nothing at all.
            } else if (!negated && rangesEnd - rangesBegin == 1
                       && result.m_ranges[rangesBegin].first == result.m_ranges[rangesBegin].last) {
                // A one-character set such as "[*]" is how a wildcard is
                // written literally; as a literal it keeps the fast paths.
                tokens.push_back({Token::Kind::Literal, false, result.m_ranges[rangesBegin].first});
                result.m_ranges.pop_back();
            } else {
                tokens.push_back({Token::Kind::Set, negated, 0, rangesBegin, rangesEnd});
            }
            i = close;
        } else {
            tokens.push_back({Token::Kind::Literal, false, foldCase(c)});
        }
    }
    result.deriveLiteralForm();
    return result;
}

void LikePattern::deriveLiteralForm()
{
    m_literalOnly = true;
    std::string current;
    for (const Token &token : m_tokens) {
        if (token.kind == Token::Kind::Literal) {
            appendUtf8(current, token.codePoint);
        } else if (token.kind == Token::Kind::AnyRun) {
            m_hasStar = true;
            if (!current.empty())
                m_segments.push_back(std::move(current));
            current.clear();
        } else {
            m_literalOnly = false;
            return;
        }
    }
    if (!current.empty() || m_segments.empty())
        m_segments.push_back(std::move(current));
    m_anchoredStart = m_tokens.empty() || m_tokens.front().kind != Token::Kind::AnyRun;
    m_anchoredEnd = m_tokens.empty() || m_tokens.back().kind != Token::Kind::AnyRun;
    if (m_segments.size() == 1 && m_segments.front().empty() && m_hasStar)
        m_segments.clear();
}

std::optional<std::string_view> LikePattern::containedLiteral() const
{
    if (!m_literalOnly || !m_hasStar || m_anchoredStart || m_anchoredEnd || m_segments.size() > 1)
        return std::nullopt;
    if (m_segments.empty())
        return std::string_view();
    return std::string_view(m_segments.front());
}

bool LikePattern::matches(std::string_view value) const
{
    return m_literalOnly ? matchesLiterals(value) : matchesTokens(value);
}

bool LikePattern::matchesLiterals(std::string_view value) const
{
    if (!m_hasStar)
        return value == m_segments.front();
    std::size_t first = 0;
    std::size_t last = m_segments.size();
    std::size_t begin = 0;
    std::size_t end = value.size();
    if (m_anchoredStart) {
        if (!value.starts_with(m_segments.front()))
            return false;
        begin = m_segments.front().size();
        ++first;
    }
    if (m_anchoredEnd) {
        const std::string &suffix = m_segments.back();
        if (end - begin < suffix.size() || !value.ends_with(suffix))
            return false;
        end -= suffix.size();
        --last;
    }
    for (std::size_t s = first; s < last; ++s) {
        const std::size_t hit = value.substr(0, end).find(m_segments[s], begin);
        if (hit == std::string_view::npos)
            return false;
        begin = hit + m_segments[s].size();
    }
    return true;
}

bool LikePattern::matchesOne(const Token &token, char32_t cp) const
{
    switch (token.kind) {
    case Token::Kind::Literal:
        return cp == token.codePoint;
    case Token::Kind::AnyOne:
        return true;
    case Token::Kind::Digit:
        return cp >= '0' && cp <= '9';
    case Token::Kind::Set: {
        bool inSet = false;
        for (std::size_t r = token.rangesBegin; r < token.rangesEnd && !inSet; ++r)
            inSet = cp >= m_ranges[r].first && cp <= m_ranges[r].last;
        return inSet != token.negated;
    }
    case Token::Kind::AnyRun:
        break;
    }
    return false;
}

// Every token but a star consumes exactly one character, so backtracking to
// the most recent star is enough to find a match when there is one.
bool LikePattern::matchesTokens(std::string_view value) const
{
    const std::size_t count = m_tokens.size();
    std::size_t t = 0;
    std::size_t pos = 0;
    std::size_t starToken = count;
    std::size_t starPos = 0;
    while (pos < value.size()) {
        if (t < count && m_tokens[t].kind == Token::Kind::AnyRun) {
            starToken = t++;
            starPos = pos;
            continue;
        }
        if (t < count) {
            std::size_t next = pos;
            const char32_t cp = nextCodePoint(value, next);
            if (matchesOne(m_tokens[t], cp)) {
                ++t;
                pos = next;
                continue;
            }
        }
        if (starToken == count)
            return false;
        t = starToken + 1;
        nextCodePoint(value, starPos);
        pos = starPos;
    }
    while (t < count && m_tokens[t].kind == Token::Kind::AnyRun)
        ++t;
    return t == count;
}

} // namespace jet_engine

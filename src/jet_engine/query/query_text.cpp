#include "jet_engine/query/query_text.h"

#include "jet_engine/query/text_fold.h"
#include "jet_engine/text/unicode_text.h"

#include <vector>

namespace jet_engine {

namespace {

struct Token {
    enum class Kind { Word, Bracketed, String, Star, Semicolon };
    Kind kind;
    std::string text;
};

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

bool isWordByte(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x80 || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '_';
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

bool isKeyword(std::string_view word, std::string_view keyword)
{
    if (word.size() != keyword.size())
        return false;
    for (std::size_t i = 0; i < keyword.size(); ++i) {
        char c = word[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != keyword[i])
            return false;
    }
    return true;
}

bool isKeyword(const Token &token, std::string_view keyword)
{
    return token.kind == Token::Kind::Word && isKeyword(token.text, keyword);
}

std::optional<std::vector<Token>> tokenize(std::string_view s)
{
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (isSpace(c)) {
            ++i;
        } else if (c == '*') {
            tokens.push_back({Token::Kind::Star, {}});
            ++i;
        } else if (c == ';') {
            tokens.push_back({Token::Kind::Semicolon, {}});
            ++i;
        } else if (c == '[') {
            const std::size_t close = s.find(']', i + 1);
            if (close == std::string_view::npos || close == i + 1)
                return std::nullopt;
            tokens.push_back({Token::Kind::Bracketed, std::string(s.substr(i + 1, close - i - 1))});
            i = close + 1;
        } else if (c == '\'' || c == '"') {
            std::string literal;
            ++i;
            for (;;) {
                if (i >= s.size())
                    return std::nullopt;
                if (s[i] == c) {
                    if (i + 1 < s.size() && s[i + 1] == c) {
                        literal.push_back(c);
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                literal.push_back(s[i++]);
            }
            tokens.push_back({Token::Kind::String, std::move(literal)});
        } else if (isWordByte(c)) {
            const std::size_t start = i;
            while (i < s.size() && isWordByte(s[i]))
                ++i;
            tokens.push_back({Token::Kind::Word, std::string(s.substr(start, i - start))});
        } else {
            return std::nullopt;
        }
    }
    return tokens;
}

bool isName(const Token &token) { return token.kind == Token::Kind::Word || token.kind == Token::Kind::Bracketed; }

Outcome<QueryText> parseSelect(const std::vector<Token> &tokens)
{
    std::size_t n = tokens.size();
    if (n > 0 && tokens[n - 1].kind == Token::Kind::Semicolon)
        --n;
    QueryText query;
    if (n < 4 || !isKeyword(tokens[0], "SELECT") || tokens[1].kind != Token::Kind::Star
        || !isKeyword(tokens[2], "FROM") || !isName(tokens[3]))
        return Status::SyntaxError;
    query.table = tokens[3].text;
    if (n == 4)
        return query;
    if (n != 8 || !isKeyword(tokens[4], "WHERE") || !isName(tokens[5]) || !isKeyword(tokens[6], "LIKE")
        || tokens[7].kind != Token::Kind::String)
        return Status::SyntaxError;
    query.condition = QueryText::Condition{tokens[5].text, tokens[7].text};
    return query;
}

bool leadsStatement(std::string_view word)
{
    static constexpr std::string_view keywords[] = {
        "ALTER", "CREATE", "DELETE", "DROP", "EXEC", "EXECUTE", "GRANT",
        "INSERT", "PARAMETERS", "PROCEDURE", "REVOKE", "TRANSFORM", "UPDATE"};
    for (std::string_view keyword : keywords)
        if (isKeyword(word, keyword))
            return true;
    return false;
}

std::string_view firstWord(std::string_view body)
{
    std::size_t end = 0;
    while (end < body.size() && isWordByte(body[end]))
        ++end;
    return body.substr(0, end);
}

bool isStatement(std::string_view body)
{
    const std::string_view word = firstWord(body);
    if (leadsStatement(word) && !trimmed(body.substr(word.size())).empty())
        return true;
    const std::size_t semicolon = body.find(';');
    return semicolon != std::string_view::npos && !trimmed(body.substr(semicolon + 1)).empty();
}

bool allowedInBareName(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x20 && b != 0x7f && c != '.' && c != '!' && c != '`' && c != '[' && c != ']';
}

} // namespace

Outcome<QueryText> parseQueryText(std::u16string_view text)
{
    const std::string utf8 = toUtf8(text);
    const std::string_view body = trimmed(utf8);
    if (body.empty())
        return Status::SyntaxError;

    const auto tokens = tokenize(body);
    if (isKeyword(firstWord(body), "SELECT")) {
        if (!tokens)
            return Status::SyntaxError;
        return parseSelect(*tokens);
    }

    // Anything else names a table, the way OpenRecordset takes "Order Details"
    // as readily as "[Order Details]".
    QueryText query;
    if (tokens && tokens->size() == 1 && tokens->front().kind == Token::Kind::Bracketed) {
        query.table = tokens->front().text;
        return query;
    }
    if (isStatement(body))
        return Status::UnsupportedQuery;
    for (char c : body)
        if (!allowedInBareName(c))
            return Status::SyntaxError;
    query.table = std::string(body);
    return query;
}

} // namespace jet_engine

#include "writer/sqlnames.h"

#include <array>

#include "catalogue/schemamodel.h"

namespace ravelin::writer {
namespace {

bool IsAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool IsNumber(std::string_view text)
{
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t digits = 0;
    while (i < text.size() && IsDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        std::size_t exponent = 0;
        while (i < text.size() && IsDigit(text[i])) {
            ++i;
            ++exponent;
        }
        if (exponent == 0)
            return false;
    }
    return i == text.size();
}

// A string literal delimited by quote, the delimiter doubled inside. Yields
// its content with the doubled delimiters made single.
std::optional<std::string> QuotedContent(std::string_view text, char quote)
{
    if (text.size() < 2 || text.front() != quote || text.back() != quote)
        return std::nullopt;
    std::string content;
    const std::string_view inner = text.substr(1, text.size() - 2);
    for (std::size_t i = 0; i < inner.size(); ++i) {
        if (inner[i] == quote) {
            if (i + 1 >= inner.size() || inner[i + 1] != quote)
                return std::nullopt;
            ++i;
        }
        content.push_back(inner[i]);
    }
    return content;
}

std::string SingleQuoted(std::string_view content)
{
    std::string out = "'";
    for (char c : content) {
        out.push_back(c);
        if (c == '\'')
            out.push_back('\'');
    }
    out.push_back('\'');
    return out;
}

std::optional<std::string> StringLiteral(std::string_view text)
{
    if (auto content = QuotedContent(text, '\''))
        return SingleQuoted(*content);
    if (auto content = QuotedContent(text, '"'))
        return SingleQuoted(*content);
    return std::nullopt;
}

}  // namespace

bool IsPlainIdentifier(std::string_view name)
{
    if (name.empty() || !IsAsciiLetter(name.front()))
        return false;
    for (char c : name) {
        if (!IsAsciiLetter(c) && !IsDigit(c) && c != '_' && c != '$')
            return false;
    }
    return true;
}

bool IsReservedColumnName(std::string_view name)
{
    static constexpr std::array<std::string_view, 6> kReserved = {"YEAR", "GROUP", "FROM", "CHARACTER", "VALUE",
                                                                  "VALUES"};
    for (std::string_view word : kReserved) {
        if (catalogue::EqualsNoCase(name, word))
            return true;
    }
    return false;
}

std::string WrittenColumnName(std::string_view name)
{
    std::string written(name);
    if (IsReservedColumnName(name))
        written += "1";
    return written;
}

std::optional<std::string> SafeDefaultText(std::string_view text)
{
    const std::string_view value = Trimmed(text);
    if (value.empty())
        return std::nullopt;
    if (IsNumber(value))
        return std::string(value);
    if (auto literal = StringLiteral(value))
        return literal;
    static constexpr std::array<std::string_view, 11> kWords = {
        "NULL", "USER", "CURRENT_USER", "CURRENT_ROLE", "CURRENT_DATE", "CURRENT_TIME", "CURRENT_TIMESTAMP",
        "LOCALTIME", "LOCALTIMESTAMP", "TRUE", "FALSE"};
    for (std::string_view word : kWords) {
        if (catalogue::EqualsNoCase(value, word))
            return std::string(value);
    }
    // DATE '2004-01-31', TIME '...', TIMESTAMP '...'
    const std::size_t blank = value.find_first_of(" \t\r\n");
    if (blank != std::string_view::npos) {
        const std::string_view word = value.substr(0, blank);
        if (catalogue::EqualsNoCase(word, "DATE") || catalogue::EqualsNoCase(word, "TIME") ||
            catalogue::EqualsNoCase(word, "TIMESTAMP")) {
            if (auto literal = StringLiteral(Trimmed(value.substr(blank))))
                return std::string(word) + " " + *literal;
        }
    }
    return std::nullopt;
}

std::string LoggableName(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        out.push_back(byte < 0x20 || byte == 0x7F ? '?' : c);
    }
    return out;
}

}  // namespace ravelin::writer

#include "writer/sqlnames.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ravelin::writer {
namespace {

TEST(IsPlainIdentifier, AcceptsOnlyLettersDigitsUnderscoreAndDollarAfterALetter)
{
    const std::vector<std::pair<std::string, bool>> cases = {
        {"EMPLOYEE", true},   {"emp_no", true},        {"RDB$FIELDS", true}, {"A1", true},
        {"", false},          {"1A", false},           {"_A", false},        {"$A", false},
        {"A B", false},       {"A-B", false},          {"A.B", false},       {"\"A\"", false},
        {"A'B", false},       {"A\tB", false},         {"A/*x*/", false},    {"A--", false},
        {"A,B", false},       {"A(B)", false},         {"A;", false},        {"\xC3\x84RGER", false},
        {std::string("A\0B", 3), false},
    };
    for (const auto& [name, plain] : cases) {
        SCOPED_TRACE(LoggableName(name));
        EXPECT_EQ(IsPlainIdentifier(name), plain);
    }
}

TEST(SafeDefaultText, KeepsOneLiteralValueAndNothingElse)
{
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"0", "0"},
        {"  -1.25 ", "-1.25"},
        {".5", ".5"},
        {"1E10", "1E10"},
        {"1e", std::nullopt},
        {"'N'", "'N'"},
        {"''", "''"},
        {"'O''Brien'", "'O''Brien'"},
        {"'unterminated", std::nullopt},
        {"'a'' ", std::nullopt},
        {"'a' || 'b'", std::nullopt},
        {"'a'); DROP TABLE T; --'", std::nullopt},
        {"\"old \"\"style\"\"\"", "'old \"style\"'"},
        {"NULL", "NULL"},
        {"user", "user"},
        {"CURRENT_TIMESTAMP", "CURRENT_TIMESTAMP"},
        {"'NOW'", "'NOW'"},
        {"TIMESTAMP '2004-01-31 10:00:00'", "TIMESTAMP '2004-01-31 10:00:00'"},
        {"DATE 'x' extra", std::nullopt},
        {"GEN_ID(G, 1)", std::nullopt},
        {"0, B INTEGER", std::nullopt},
        {"", std::nullopt},
        {" ", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(SafeDefaultText(text), expected);
    }
}

}  // namespace
}  // namespace ravelin::writer

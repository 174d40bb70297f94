#pragma once

// Names and default texts read from a damaged file go into SQL text without
// quotes. These checks keep such text from changing a statement's structure:
// a name is used only when it is a plain identifier, a default only when it
// is one literal value.

#include <optional>
#include <string>
#include <string_view>

namespace ravelin::writer {

// An ASCII letter followed by ASCII letters, digits, "_" and "$". Only such
// names are written into statements; anything else (blanks, quotes,
// brackets, commas, comment marks, control or non-ASCII characters) could
// end the name early and add SQL of its own.
bool IsPlainIdentifier(std::string_view name);

// The six column names that are reserved words: YEAR, GROUP, FROM,
// CHARACTER, VALUE, VALUES (any letter case).
bool IsReservedColumnName(std::string_view name);

// A column name as the target gets it: a reserved name with "1" appended.
std::string WrittenColumnName(std::string_view name);

// The default text to write after " DEFAULT ", or nothing when the stored
// text is not one literal value. Accepted: a number, a string in single
// quotes (quotes inside doubled), NULL, USER, the CURRENT_ and LOCAL time
// words, TRUE, FALSE, and DATE, TIME or TIMESTAMP followed by a quoted
// string. Blanks around the value are dropped; a string in double quotes
// (an old dialect's string) is rewritten in single quotes.
std::optional<std::string> SafeDefaultText(std::string_view text);

// A name as a log line may show it: control characters become "?".
std::string LoggableName(std::string_view name);

}  // namespace ravelin::writer

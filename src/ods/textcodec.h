#pragma once

// Conversion between the 8-bit text stored in database files (and sent to the
// target in SQL) and the UTF-8 strings the program works with. One single-byte
// code page serves every conversion; WIN1252 unless configured otherwise.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ravelin::ods {

// Selects the code page used by DecodeText/EncodeText for the whole process
// (an iconv name such as "WIN1252", "CP1251", "ISO-8859-2"). Returns false,
// leaving the current code page in place, when the name is unknown to iconv
// or is not a single-byte code page. Call before a job starts, never while a
// worker runs.
bool SetCodePage(const std::string& name);
const std::string& CodePage();

// 8-bit text in the code page -> UTF-8. The text ends at the first zero byte.
// Bytes the code page leaves undefined become U+FFFD.
std::string DecodeText(std::span<const std::byte> bytes);
std::string DecodeText(std::string_view bytes);

// Text stored as UTF-8 (columns of the UTF8 and UNICODE_FSS character sets)
// -> UTF-8. The text ends at the first zero byte; every byte that does not
// belong to a well-formed sequence becomes U+FFFD.
std::string DecodeUtf8Text(std::span<const std::byte> bytes);
// The same; wellFormed says whether every byte belonged to a well-formed
// sequence (no U+FFFD was put in).
std::string DecodeUtf8Text(std::span<const std::byte> bytes, bool& wellFormed);

// UTF-8 -> 8-bit text in the code page. Characters the code page cannot hold
// become '?'.
std::string EncodeText(std::string_view utf8);

// The text of an SQL statement as it goes to the target: EncodeText
// everywhere, except inside string literals introduced by _UTF8 (_UTF8 'x'),
// which keep their UTF-8 bytes: the target reads such a literal as UTF8 text
// whatever the connection's character set, so no character is lost to the
// code page. A doubled apostrophe stays inside its literal.
std::string EncodeStatement(std::string_view utf8);
inline constexpr std::string_view kUtf8Introducer = "_UTF8 ";

// A text from the file as it may be shown on a terminal or written to a log
// line: every control character and every byte that is not part of
// well-formed UTF-8 is written as an escape, so that a hostile name can
// neither send terminal control sequences nor break a line in two. Tab,
// line feed and carriage return become \t, \n and \r; other C0 controls,
// DEL and stray bytes \xHH; the C1 controls U+0080..U+009F \u00HH. All
// other text, backslashes included, stays as it is.
std::string ShownText(std::string_view utf8);

// The character whose code is the byte value itself (not through the code
// page), count times, as UTF-8.
std::string RepeatText(unsigned count, std::uint8_t byte);

// Appends the UTF-8 form of a code point.
void AppendUtf8(std::string& out, char32_t codePoint);

// UTF-8 -> UTF-16LE bytes (no byte-order mark), for the report and side files.
std::string Utf8ToUtf16Le(std::string_view utf8);

}  // namespace ravelin::ods

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

// UTF-8 -> 8-bit text in the code page. Characters the code page cannot hold
// become '?'.
std::string EncodeText(std::string_view utf8);

// The character whose code is the byte value itself (not through the code
// page), count times, as UTF-8.
std::string RepeatText(unsigned count, std::uint8_t byte);

// Appends the UTF-8 form of a code point.
void AppendUtf8(std::string& out, char32_t codePoint);

// UTF-8 -> UTF-16LE bytes (no byte-order mark), for the report and side files.
std::string Utf8ToUtf16Le(std::string_view utf8);

}  // namespace ravelin::ods

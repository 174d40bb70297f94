#include "ods/textcodec.h"

#include <algorithm>

#include <array>
#include <unordered_map>

#include <iconv.h>

namespace ravelin::ods {
namespace {

struct CodePageTables {
    std::string name;
    std::array<char32_t, 256> toUnicode{};
    std::unordered_map<char32_t, std::uint8_t> fromUnicode;
};

// Builds the byte -> code point table of a single-byte code page with iconv,
// one byte at a time. Returns false when iconv does not know the name.
// iconv's name for a code page: "WIN1252" is known to it as "WINDOWS-1252".
iconv_t OpenCodePage(const std::string& name)
{
    iconv_t cd = iconv_open("UTF-32LE", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1) && name.size() > 3 && (name.rfind("WIN", 0) == 0 || name.rfind("win", 0) == 0))
        cd = iconv_open("UTF-32LE", ("WINDOWS-" + name.substr(3)).c_str());
    return cd;
}

bool BuildTables(const std::string& name, CodePageTables& out)
{
    iconv_t cd = OpenCodePage(name);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    unsigned undefinedHigh = 0;
    out.name = name;
    out.fromUnicode.clear();
    for (unsigned b = 0; b < 256; ++b) {
        char in = static_cast<char>(b);
        char* inPtr = &in;
        std::size_t inLeft = 1;
        std::array<unsigned char, 8> buf{};
        char* outPtr = reinterpret_cast<char*>(buf.data());
        std::size_t outLeft = buf.size();
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        // Some code pages (CP1255, CP1258) hold a letter back in case a
        // combining mark follows; flushing the state emits it.
        if (rc != static_cast<std::size_t>(-1))
            rc = iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        char32_t cp = 0xFFFD;
        if (rc != static_cast<std::size_t>(-1) && buf.size() - outLeft == 4) {
            cp = static_cast<char32_t>(buf[0] | (buf[1] << 8) | (buf[2] << 16) | (static_cast<unsigned>(buf[3]) << 24));
        } else if (rc != static_cast<std::size_t>(-1) && buf.size() - outLeft > 4) {
            iconv_close(cd);
            return false;  // a byte that expands to several characters: not single-byte
        }
        if (cp == 0xFFFD && b >= 0x80)
            ++undefinedHigh;
        out.toUnicode[b] = cp;
        if (cp != 0xFFFD)
            out.fromUnicode.emplace(cp, static_cast<std::uint8_t>(b));
    }
    iconv_close(cd);
    // A multi-byte encoding such as UTF-8 leaves most single high bytes
    // undefined; a single-byte code page defines nearly all of them.
    return undefinedHigh <= 32;
}

CodePageTables& Tables()
{
    static CodePageTables tables = [] {
        CodePageTables t;
        if (!BuildTables("WIN1252", t) && !BuildTables("CP1252", t)) {
            // Without iconv data fall back to Latin-1.
            t.name = "ISO-8859-1";
            for (unsigned b = 0; b < 256; ++b) {
                t.toUnicode[b] = b;
                t.fromUnicode.emplace(b, static_cast<std::uint8_t>(b));
            }
        }
        return t;
    }();
    return tables;
}

}  // namespace

bool SetCodePage(const std::string& name)
{
    CodePageTables t;
    if (!BuildTables(name, t))
        return false;
    Tables() = std::move(t);
    return true;
}

const std::string& CodePage()
{
    return Tables().name;
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string DecodeText(std::span<const std::byte> bytes)
{
    const auto& table = Tables().toUnicode;
    std::string out;
    out.reserve(bytes.size());
    // Characters below 0x80 are their own UTF-8 form: they are gathered and
    // appended a stretch at a time.
    std::array<char, 64> stretch{};
    std::size_t held = 0;
    for (std::byte b : bytes) {
        if (b == std::byte{0})
            break;
        const char32_t cp = table[static_cast<std::uint8_t>(b)];
        if (cp < 0x80) {
            stretch[held++] = static_cast<char>(cp);
            if (held == stretch.size()) {
                out.append(stretch.data(), held);
                held = 0;
            }
            continue;
        }
        out.append(stretch.data(), held);
        held = 0;
        AppendUtf8(out, cp);
    }
    out.append(stretch.data(), held);
    return out;
}

std::string DecodeText(std::string_view bytes)
{
    return DecodeText(std::as_bytes(std::span<const char>(bytes.data(), bytes.size())));
}

namespace {
// Decodes one UTF-8 sequence at s[i], advancing i; malformed bytes give U+FFFD.
char32_t NextCodePoint(std::string_view s, std::size_t& i)
{
    const auto b0 = static_cast<unsigned char>(s[i++]);
    if (b0 < 0x80)
        return b0;
    int extra = (b0 >= 0xF0) ? 3 : (b0 >= 0xE0) ? 2 : (b0 >= 0xC0) ? 1 : -1;
    if (extra < 0)
        return 0xFFFD;
    char32_t cp = b0 & (0x3F >> extra);
    for (int k = 0; k < extra; ++k) {
        if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
            return 0xFFFD;
        cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    }
    return cp;
}
}  // namespace

std::string EncodeText(std::string_view utf8)
{
    const auto& from = Tables().fromUnicode;
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t cp = NextCodePoint(utf8, i);
        auto it = from.find(cp);
        out.push_back(it != from.end() ? static_cast<char>(it->second) : '?');
    }
    return out;
}

std::string DecodeUtf8Text(std::span<const std::byte> bytes)
{
    bool wellFormed = true;
    return DecodeUtf8Text(bytes, wellFormed);
}

std::string DecodeUtf8Text(std::span<const std::byte> bytes, bool& wellFormed)
{
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    text = text.substr(0, text.find('\0'));
    wellFormed = true;
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        const char32_t cp = NextCodePoint(text, i);
        // A sequence is copied as stored only when it decodes to what it
        // claims: no stray continuation byte, no overlong or surrogate form.
        // (A stored U+FFFD is well-formed and copied like any other.)
        std::string again;
        AppendUtf8(again, cp);
        if (cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF) && again == text.substr(start, i - start)) {
            out.append(again);
        } else {
            wellFormed = false;
            AppendUtf8(out, 0xFFFD);
            if (i == start + 1 || cp == 0xFFFD)
                continue;
            i = start + 1;  // resume after the first byte of the bad sequence
        }
    }
    return out;
}

std::string EncodeStatement(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    std::size_t at = 0;
    while (at < utf8.size()) {
        const std::size_t quote = utf8.find('\'', at);
        if (quote == std::string_view::npos) {
            out += EncodeText(utf8.substr(at));
            break;
        }
        const bool introduced = quote - at >= kUtf8Introducer.size() &&
                                utf8.substr(quote - kUtf8Introducer.size(), kUtf8Introducer.size()) == kUtf8Introducer;
        out += EncodeText(utf8.substr(at, quote - at));
        // The literal runs to the apostrophe that is not doubled.
        std::size_t end = quote + 1;
        while (end < utf8.size()) {
            if (utf8[end] == '\'') {
                if (end + 1 < utf8.size() && utf8[end + 1] == '\'') {
                    end += 2;
                    continue;
                }
                ++end;
                break;
            }
            ++end;
        }
        const std::string_view literal = utf8.substr(quote, end - quote);
        if (introduced)
            out += literal;
        else
            out += EncodeText(literal);
        at = end;
    }
    return out;
}

std::string RepeatText(unsigned count, std::uint8_t byte)
{
    std::string one;
    AppendUtf8(one, byte);
    std::string out;
    out.reserve(one.size() * count);
    for (unsigned k = 0; k < count; ++k)
        out += one;
    return out;
}

std::string Utf8ToUtf16Le(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size() * 2);
    auto put = [&out](char16_t u) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    };
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = NextCodePoint(utf8, i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(static_cast<char16_t>(0xD800 + (cp >> 10)));
            put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            put(static_cast<char16_t>(cp));
        }
    }
    return out;
}

namespace {

// The length of the well-formed UTF-8 sequence at text[at], and its code
// point; 0 when the bytes there are not one.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at, char32_t& cp)
{
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned lead = byte(at);
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() - at < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned next = byte(at + i);
        if ((next & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not
    // well-formed.
    const char32_t least = length == 3 ? 0x800 : length == 4 ? 0x10000 : 0x80;
    if (cp < least || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        return 0;
    return length;
}

void AppendEscape(std::string& out, const char* prefix, unsigned value)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out += prefix;
    out += kHex[(value >> 4) & 0xF];
    out += kHex[value & 0xF];
}

}  // namespace

std::string ShownText(std::string_view utf8)
{
    const bool plain = std::all_of(utf8.begin(), utf8.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x20 && byte < 0x7F;
    });
    if (plain)
        return std::string(utf8);
    std::string out;
    out.reserve(utf8.size() + 8);
    for (std::size_t at = 0; at < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[at]);
        if (byte >= 0x20 && byte < 0x7F) {
            out += static_cast<char>(byte);
            ++at;
        } else if (byte == '\t') {
            out += "\\t";
            ++at;
        } else if (byte == '\n') {
            out += "\\n";
            ++at;
        } else if (byte == '\r') {
            out += "\\r";
            ++at;
        } else if (byte < 0x80) {
            AppendEscape(out, "\\x", byte);  // other C0 controls and DEL
            ++at;
        } else {
            char32_t cp = 0;
            const std::size_t length = Utf8SequenceAt(utf8, at, cp);
            if (length == 0) {
                AppendEscape(out, "\\x", byte);
                ++at;
            } else if (cp <= 0x9F) {
                AppendEscape(out, "\\u00", static_cast<unsigned>(cp));
                at += length;
            } else {
                out.append(utf8.substr(at, length));
                at += length;
            }
        }
    }
    return out;
}

}  // namespace ravelin::ods

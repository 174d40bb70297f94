#include "ods/recordformat.h"

#include <algorithm>

#include "ods/constants.h"
#include "ods/littleendian.h"

namespace ravelin::ods {
namespace {

bool IsTextType(std::uint8_t type) { return type == kStoredText || type == kStoredVarying; }

}  // namespace

std::uint8_t FormatField::characterSet() const
{
    return IsTextType(type) ? static_cast<std::uint8_t>(subType & 0xFFu) : 0;
}

std::size_t RecordFormat::NullFlagBytes() const
{
    return 4 * ((fields.size() + 31) / 32);
}

bool RecordFormat::Stored(const FormatField& field) const
{
    return !field.dropped() && field.length != 0 && field.offset >= NullFlagBytes() &&
           std::size_t{field.offset} + field.length <= kMaxRecordLength;
}

std::size_t RecordFormat::RecordLength() const
{
    std::size_t length = NullFlagBytes();
    for (const FormatField& field : fields) {
        if (Stored(field))
            length = std::max<std::size_t>(length, std::size_t{field.offset} + field.length);
    }
    return length;
}

SlackCheck::SlackCheck(const RecordFormat& format)
{
    const std::size_t length = format.RecordLength();
    flagBytes_ = format.NullFlagBytes();
    std::vector<bool> held(length, false);
    for (std::size_t id = 0; id < format.fields.size(); ++id) {
        const FormatField& field = format.fields[id];
        if (!format.Stored(field))
            continue;
        const Span bytes{field.offset, std::size_t{field.offset} + field.length};
        fields_.push_back(FieldSpan{id, bytes});
        for (std::size_t at = bytes.begin; at < bytes.end; ++at)
            held[at] = true;
    }
    for (std::size_t at = flagBytes_; at < length; ++at) {
        if (held[at])
            continue;
        if (!gaps_.empty() && gaps_.back().end == at)
            ++gaps_.back().end;
        else
            gaps_.push_back(Span{at, at + 1});
    }
}

std::optional<std::size_t> SlackCheck::FindStrayByte(std::span<const std::byte> data) const
{
    const auto firstSet = [&data](Span span) -> std::optional<std::size_t> {
        for (std::size_t at = span.begin; at < span.end && at < data.size(); ++at) {
            if (data[at] != std::byte{0})
                return at;
        }
        return std::nullopt;
    };
    for (const Span& gap : gaps_) {
        if (auto at = firstSet(gap))
            return at;
    }
    // A null field's bytes stay zero.
    for (const FieldSpan& field : fields_) {
        const std::size_t flag = field.id / 8;
        if (flag < flagBytes_ && flag < data.size() &&
            ((std::to_integer<unsigned>(data[flag]) >> (field.id % 8)) & 1u) != 0) {
            if (auto at = firstSet(field.bytes))
                return at;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> FindStraySlackByte(const RecordFormat& format, std::span<const std::byte> data)
{
    return SlackCheck(format).FindStrayByte(data);
}

std::optional<std::vector<FormatField>> ParseFormatDescriptor(std::span<const std::byte> bytes)
{
    if (bytes.empty() || bytes.size() % kFormatFieldSize != 0)
        return std::nullopt;
    std::vector<FormatField> fields;
    fields.reserve(bytes.size() / kFormatFieldSize);
    for (std::size_t at = 0; at < bytes.size(); at += kFormatFieldSize) {
        FormatField field;
        field.type = static_cast<std::uint8_t>(LittleEndian(bytes, at + 1, 1));
        field.scale = static_cast<std::int8_t>(LittleEndian(bytes, at + 2, 1));
        field.precision = static_cast<std::uint8_t>(LittleEndian(bytes, at + 3, 1));
        field.length = static_cast<std::uint16_t>(LittleEndian(bytes, at + 4, 2));
        field.subType = static_cast<std::uint16_t>(LittleEndian(bytes, at + 6, 2));
        field.flags = static_cast<std::uint16_t>(LittleEndian(bytes, at + 8, 2));
        field.offset = LittleEndian(bytes, at + 12, 4);
        // The first byte is 0 in every descriptor written; anything else,
        // or a field reaching past the largest record, is damage.
        if (LittleEndian(bytes, at, 1) != 0 || std::size_t{field.offset} + field.length > kMaxRecordLength)
            return std::nullopt;
        fields.push_back(field);
    }
    return fields;
}

unsigned BytesPerCharacter(std::uint8_t characterSet)
{
    switch (characterSet) {
    case kCharsetUnicodeFss:
        return 3;
    case 4:  // UTF8 as the Firebird engine numbers it
    case kCharsetUtf8:
    case 69:  // GB18030
        return 4;
    case 5:   // SJIS_0208
    case 6:   // EUCJ_0208
    case 44:  // KSC_5601
    case 56:  // BIG_5
    case 57:  // GB_2312
    case 67:  // GBK
    case 68:  // CP943C
        return 2;
    default:
        return 1;
    }
}

std::string_view CharacterSetName(std::uint8_t characterSet)
{
    switch (characterSet) {
    case kCharsetNone: return "NONE";
    case 1: return "OCTETS";
    case 2: return "ASCII";
    case kCharsetUnicodeFss: return "UNICODE_FSS";
    case 4:
    case kCharsetUtf8: return "UTF8";
    case 5: return "SJIS_0208";
    case 6: return "EUCJ_0208";
    case 10: return "DOS437";
    case 11: return "DOS850";
    case 12: return "DOS865";
    case 13: return "DOS860";
    case 14: return "DOS863";
    case 19: return "NEXT";
    case 21: return "ISO8859_1";
    case 22: return "ISO8859_2";
    case 44: return "KSC_5601";
    case 45: return "DOS852";
    case 46: return "DOS857";
    case 47: return "DOS861";
    case 48: return "DOS866";
    case 49: return "DOS869";
    case 50: return "CYRL";
    case 51: return "WIN1250";
    case 52: return "WIN1251";
    case 53: return "WIN1252";
    case 54: return "WIN1253";
    case 55: return "WIN1254";
    case 56: return "BIG_5";
    case 57: return "GB_2312";
    default: return {};
    }
}

bool IsUtf8CharacterSet(std::uint8_t characterSet)
{
    return characterSet == kCharsetUnicodeFss || characterSet == 4 || characterSet == kCharsetUtf8;
}

}  // namespace ravelin::ods

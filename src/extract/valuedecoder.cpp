#include "extract/valuedecoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>

#include "extract/singleprecision.h"
#include "ods/constants.h"
#include "ods/recordformat.h"
#include "ods/textcodec.h"

namespace ravelin::extract {
namespace {

using catalogue::TypeCode;

// The first n (at most 8) bytes, least significant first.
std::uint64_t ReadLittleEndian(std::span<const std::byte> bytes, std::size_t n)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < n && i < bytes.size() && i < 8; ++i)
        value |= std::to_integer<std::uint64_t>(bytes[i]) << (8 * i);
    return value;
}

// n bytes (1 to 8) as a two's-complement number: negative when bit 7 of the
// last byte is set.
std::int64_t ReadSigned(std::span<const std::byte> bytes, std::size_t n)
{
    std::uint64_t value = ReadLittleEndian(bytes, n);
    if (n < 8 && (std::to_integer<unsigned>(bytes[n - 1]) & 0x80u) != 0)
        value |= ~std::uint64_t{0} << (8 * n);
    return static_cast<std::int64_t>(value);
}

// A short text built in place, without allocations on the way: the dates,
// times and numbers of the decoders fit in its room (what would not is cut).
class ShortText {
public:
    void Put(char c)
    {
        if (size_ < room_.size())
            room_[size_++] = c;
    }
    void Put(std::string_view text)
    {
        const std::size_t n = std::min(text.size(), room_.size() - size_);
        std::copy_n(text.begin(), n, room_.begin() + static_cast<std::ptrdiff_t>(size_));
        size_ += n;
    }
    void Digits(std::uint64_t value)
    {
        size_ = static_cast<std::size_t>(std::to_chars(room_.data() + size_, room_.data() + room_.size(), value).ptr -
                                         room_.data());
    }
    void SignedDigits(std::int64_t value)
    {
        if (value < 0)
            Put('-');
        Digits(value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value));
    }
    // Preceded by "0" when below 10.
    void TwoDigits(unsigned value)
    {
        if (value < 10)
            Put('0');
        Digits(value);
    }
    std::string Text() const { return std::string(room_.data(), size_); }

private:
    std::array<char, 96> room_{};
    std::size_t size_ = 0;
};

std::string SignedDigits(std::int64_t value)
{
    ShortText text;
    text.SignedDigits(value);
    return text.Text();
}

bool AllZero(std::span<const std::byte> bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](std::byte b) { return b == std::byte{0}; });
}

// A DATE day number. The sign comes from the fourth byte: 0xFF marks a
// negative number; any other value is taken as it stands.
std::int64_t ReadDayNumber(std::span<const std::byte> bytes)
{
    const std::uint64_t raw = ReadLittleEndian(bytes, 4);
    if (std::to_integer<unsigned>(bytes[3]) == 0xFFu)
        return static_cast<std::int64_t>(raw) - (std::int64_t{1} << 32);
    return static_cast<std::int64_t>(raw);
}

struct CivilDate {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

// Proleptic Gregorian date of a day number (counted from 17 November 1858).
CivilDate DateOfDayNumber(std::int64_t dayNumber)
{
    // Days from 1 March of year 0, so that leap days end each 400-year era.
    constexpr std::int64_t kDaysFrom18991230To19700101 = 25569;
    constexpr std::int64_t kDaysFrom00000301To19700101 = 719468;
    const std::int64_t z =
        dayNumber - ods::kDayNumberOf18991230 - kDaysFrom18991230To19700101 + kDaysFrom00000301To19700101;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;                                              // 0..146096
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;  // 0..399
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);  // 0..365
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;                                  // 0 = March
    const auto day = static_cast<unsigned>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const auto month = static_cast<unsigned>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day};
}

// FormatCalendarDate, appended to text.
void PutCalendarDate(ShortText& text, std::int64_t dayNumber, OutputMode mode)
{
    const CivilDate date = DateOfDayNumber(dayNumber);
    text.TwoDigits(date.month);
    text.Put('/');
    text.TwoDigits(date.day);
    text.Put('/');
    if (mode == OutputMode::Repair && date.year >= 0 && date.year < 1000)
        text.Put(std::string_view("000").substr(0, date.year >= 100 ? 1 : date.year >= 10 ? 2 : 3));
    text.SignedDigits(date.year);
}

// FormatIsoDate, appended to text.
void PutIsoDate(ShortText& text, std::int64_t dayNumber)
{
    const CivilDate date = DateOfDayNumber(dayNumber);
    if (date.year >= 0 && date.year < 1000)
        text.Put(std::string_view("000").substr(0, date.year >= 100 ? 1 : date.year >= 10 ? 2 : 3));
    text.SignedDigits(date.year);
    text.Put('-');
    text.TwoDigits(date.month);
    text.Put('-');
    text.TwoDigits(date.day);
}

// FormatIsoTime, appended to text; false (nothing appended) from 24 hours on.
bool PutIsoTime(ShortText& text, std::uint32_t time)
{
    if (time >= 24u * 3600u * ods::kTimeUnitsPerSecond)
        return false;
    const std::uint32_t seconds = time / ods::kTimeUnitsPerSecond;
    const std::uint32_t fraction = time % ods::kTimeUnitsPerSecond;
    text.TwoDigits(seconds / 3600);
    text.Put(':');
    text.TwoDigits((seconds / 60) % 60);
    text.Put(':');
    text.TwoDigits(seconds % 60);
    text.Put('.');
    text.TwoDigits(fraction / 100);
    text.TwoDigits(fraction % 100);
    return true;
}

// FormatClockTime, appended to text; false (nothing appended) when the
// text would be empty.
bool PutClockTime(ShortText& text, std::uint32_t time, OutputMode mode)
{
    const std::uint32_t seconds = time / ods::kTimeUnitsPerSecond;
    const unsigned second = seconds % 60;
    const unsigned minute = (seconds / 60) % 60;
    const unsigned hour = (seconds / 3600) % 60;
    unsigned shownHour = hour;
    std::string_view suffix;
    if (mode == OutputMode::Preview) {
        if (hour > 24)
            return false;
        shownHour = hour == 0 ? 12 : hour > 12 ? hour - 12 : hour;
        suffix = hour < 12 ? " AM" : " PM";
    } else if (time >= 24u * 3600u * ods::kTimeUnitsPerSecond) {
        return false;  // past the end of the day
    }
    text.Digits(shownHour);
    text.Put(':');
    text.TwoDigits(minute);
    text.Put(':');
    text.TwoDigits(second);
    text.Put(suffix);
    return true;
}

std::size_t CountDigits(std::string_view text)
{
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }));
}

// The shortest text that reads back as value (float or double): fixed
// notation unless it needs more than 18 digits, which the server would read
// as an out-of-range exact number; then the shortest scientific form.
template <typename Floating>
std::string ShortestText(Floating value)
{
    std::array<char, 64> buf{};
    auto result = std::to_chars(buf.data(), buf.data() + buf.size(), value);
    std::string_view text(buf.data(), static_cast<std::size_t>(result.ptr - buf.data()));
    if (text.find('e') == std::string_view::npos && CountDigits(text) > 18) {
        result = std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::scientific);
        text = std::string_view(buf.data(), static_cast<std::size_t>(result.ptr - buf.data()));
    }
    return std::string(text);
}

std::string NonFiniteText(double value)
{
    if (std::isnan(value))
        return "NaN";
    return value < 0 ? "-Infinity" : "Infinity";
}

bool IsQuotedType(std::uint8_t typeCode)
{
    switch (typeCode) {
    case TypeCode::kTypeChar:
    case TypeCode::kTypeVarchar:
    case TypeCode::kTypeBlob:
    case TypeCode::kTypeDate:
    case TypeCode::kTypeTime:
    case TypeCode::kTypeTimestamp:
        return true;
    default:
        return false;
    }
}

// The text of a field whose stored bytes are all zero, for the types that
// have one; false for the types that decode zero bytes like any other value.
bool ZeroFieldText(std::uint8_t typeCode, OutputMode mode, std::string& text)
{
    switch (typeCode) {
    case TypeCode::kTypeNumeric:
    case TypeCode::kTypeDecimal:
    case TypeCode::kTypeSmallint:
    case TypeCode::kTypeInteger:
    case TypeCode::kTypeBigint:
    case TypeCode::kTypeFloat:
    case TypeCode::kTypeDouble:
        text = "0";
        return true;
    case TypeCode::kTypeBoolean:
        text = "False";
        return true;
    case TypeCode::kTypeChar:
        text = " ";
        return true;
    case TypeCode::kTypeVarchar:
        // An empty text: shown as a blank cell, copied as the empty string.
        text = mode == OutputMode::Preview ? " " : "";
        return true;
    case TypeCode::kTypeBlob:
        text.clear();
        return true;
    default:
        return false;
    }
}

std::string TrimTrailingBlanks(std::string text)
{
    const auto end = text.find_last_not_of(' ');
    text.erase(end == std::string::npos ? 0 : end + 1);
    return text;
}

FieldValue DecodeNumeric(std::span<const std::byte> field, const catalogue::COLUMN& column)
{
    FieldValue value;
    std::size_t width = column.length;
    if (width > 8) {
        value.numericTooWide = true;
        width = 8;
    }
    value.text = FormatScaledInteger(ReadSigned(field, width), column.scale);
    return value;
}

FieldValue DecodeDate(std::span<const std::byte> field, OutputMode mode)
{
    FieldValue value;
    const std::int64_t day = ReadDayNumber(field);
    value.text = mode == OutputMode::Exact ? FormatIsoDate(day) : FormatCalendarDate(day, mode);
    if (mode == OutputMode::Repair)
        value.text += " 00:00:00";
    // The server writes no date outside the years 1 to 9999: such a day
    // number is damage, not a date.
    value.damaged = !DayNumberInTargetRange(day);
    return value;
}

FieldValue DecodeTime(std::span<const std::byte> field, OutputMode mode)
{
    FieldValue value;
    const auto time = static_cast<std::uint32_t>(ReadLittleEndian(field, 4));
    const std::string clock = mode == OutputMode::Exact ? FormatIsoTime(time) : FormatClockTime(time, mode);
    // A time of day past its end is damage.
    value.damaged = time >= 24u * 3600u * ods::kTimeUnitsPerSecond;
    if (mode == OutputMode::Preview || (mode == OutputMode::Exact && !clock.empty())) {
        value.text = clock;
    } else if (clock.empty()) {
        value.nullLiteral = true;
    } else {
        // The target column is a TIMESTAMP: the time of day on the zero date.
        value.text = "12/30/1899 " + clock;
    }
    return value;
}

FieldValue DecodeTimestamp(std::span<const std::byte> field, OutputMode mode)
{
    FieldValue value;
    const std::int64_t day = ReadDayNumber(field);
    const auto time = static_cast<std::uint32_t>(ReadLittleEndian(field.subspan(4), 4));
    ShortText text;
    if (mode == OutputMode::Exact) {
        PutIsoDate(text, day);
        text.Put(' ');
        value.nullLiteral = !PutIsoTime(text, time);
        value.damaged = !DayNumberInTargetRange(day) || value.nullLiteral;
        value.text = text.Text();
        return value;
    }
    PutCalendarDate(text, day, mode);
    text.Put(' ');
    if (mode == OutputMode::Preview) {
        if (time != 0)
            PutClockTime(text, time, mode);
    } else {
        bool clock = true;
        if (time != 0)
            clock = PutClockTime(text, time, mode);
        else
            text.Put("00:00:00");
        value.nullLiteral = !clock;
    }
    value.damaged = !DayNumberInTargetRange(day) || time >= 24u * 3600u * ods::kTimeUnitsPerSecond;
    value.text = text.Text();
    return value;
}

// A CHAR or VARCHAR column's stored text: UTF-8 in the UTF8 and
// UNICODE_FSS sets, the code page's otherwise. The server stores only
// well-formed UTF-8 in a UTF8 column: a text that is not sets damaged.
// (UNICODE_FSS texts are not checked: older servers stored them as given.)
std::string DecodeStoredText(std::span<const std::byte> bytes, const catalogue::COLUMN& column, bool& damaged)
{
    if (!catalogue::HoldsUtf8Text(column))
        return ods::DecodeText(bytes);
    bool wellFormed = true;
    std::string text = ods::DecodeUtf8Text(bytes, wellFormed);
    if (!wellFormed && column.characterSet != ods::kCharsetUnicodeFss)
        damaged = true;
    return text;
}

FieldValue DecodeVarchar(std::span<const std::byte> field, const catalogue::COLUMN& column)
{
    FieldValue value;
    if (field.size() < 2) {
        value.damaged = true;
        value.text = " ";
        return value;
    }
    const auto length = static_cast<std::size_t>(ReadLittleEndian(field, 2));
    if (length > column.length || length > field.size() - 2) {
        value.damaged = true;
        value.text = " ";
        return value;
    }
    if (length > 32764) {  // no VARCHAR holds that much text
        value.damaged = true;
        return value;
    }
    value.text = DecodeStoredText(field.subspan(2, length), column, value.damaged);
    value.utf8 = catalogue::HoldsUtf8Text(column);
    return value;
}

FieldValue DecodeBlob(std::span<const std::byte> field, const DecodeOptions& options)
{
    FieldValue value;
    const BlobId id{static_cast<std::uint32_t>(ReadLittleEndian(field, 4)),
                    static_cast<std::uint32_t>(ReadLittleEndian(field.subspan(4), 4))};
    if (id.relationId != options.relationId)
        return value;  // not a blob of this table: no text
    if (options.mode == OutputMode::Preview)
        value.text = "Blob";
    else if (options.blobPath)
        value.text = options.blobPath(id);
    // An exact restore's value is a parameter, or NULL when its blob
    // could not be read.
    if (options.mode == OutputMode::Exact) {
        value.parameter = !value.text.empty();
        value.nullLiteral = !value.parameter;
    }
    return value;
}

FieldValue DecodeFloatingPoint(double number, std::string text)
{
    FieldValue value;
    value.nullLiteral = !std::isfinite(number);
    value.text = std::move(text);
    return value;
}

// An array column's 8-byte array id. The preview shows that an array is
// there. A repair hands an id of this table to options.arrayValue: an exact
// restore's value is then the parameter that carries the elements, or NULL
// when they could not be read; a salvage repair writes NULL, so that the
// record lands with all its other values.
FieldValue DecodeArrayId(std::span<const std::byte> field, const DecodeOptions& options)
{
    FieldValue value;
    value.nullLiteral = true;
    if (field.size() < 8) {
        value.damaged = true;
        return value;
    }
    value.text = AllZero(field.first(8)) ? "NULL" : "Array";
    const BlobId id{static_cast<std::uint32_t>(ReadLittleEndian(field, 4)),
                    static_cast<std::uint32_t>(ReadLittleEndian(field.subspan(4), 4))};
    if (value.text == "NULL" || options.mode == OutputMode::Preview || !options.arrayValue ||
        id.relationId != options.relationId)
        return value;
    std::string marker = options.arrayValue(id);
    if (options.mode == OutputMode::Exact && !marker.empty()) {
        value.text = std::move(marker);
        value.parameter = true;
        value.nullLiteral = false;
    }
    return value;
}

}  // namespace

FieldValue NullFieldValue()
{
    FieldValue value;
    value.text = "NULL";
    value.nullLiteral = true;
    return value;
}

std::size_t FieldStorageSize(const catalogue::COLUMN& column)
{
    if (column.dimensions != 0 && column.typeCode != 0)
        return 8;  // the array id
    switch (column.typeCode) {
    case TypeCode::kTypeNumeric:
    case TypeCode::kTypeDecimal:
    case TypeCode::kTypeChar:
        return column.length;
    case TypeCode::kTypeVarchar:
        return std::size_t{column.length} + 2;
    case TypeCode::kTypeSmallint:
    case TypeCode::kTypeBoolean:
        return 2;
    case TypeCode::kTypeInteger:
    case TypeCode::kTypeFloat:
    case TypeCode::kTypeDate:
    case TypeCode::kTypeTime:
        return 4;
    case TypeCode::kTypeBlob:
    case TypeCode::kTypeBigint:
    case TypeCode::kTypeDouble:
    case TypeCode::kTypeTimestamp:
        return 8;
    default:
        return 0;
    }
}

FieldValue DecodeFieldValue(std::span<const std::byte> field, const catalogue::COLUMN& column,
                            const DecodeOptions& options)
{
    FieldValue value;
    if (column.typeCode == 0 || column.length == 0) {
        value.damaged = true;
        return value;
    }
    const std::size_t storage = FieldStorageSize(column);
    if (storage == 0)
        return value;  // a type this reader does not decode: no text

    if (column.dimensions != 0)
        return DecodeArrayId(field, options);

    if (column.typeCode == TypeCode::kTypeVarchar) {
        // The length word decides how much of the field holds text, so a
        // record that ends inside the unused tail still gives its text.
        if (field.size() >= storage && AllZero(field.first(storage))) {
            ZeroFieldText(column.typeCode, options.mode, value.text);
            return value;
        }
        return DecodeVarchar(field, column);
    }

    if (field.size() < storage) {
        value.damaged = true;
        if (column.typeCode == TypeCode::kTypeBoolean)
            value.text = " ";
        else if (column.typeCode == TypeCode::kTypeChar)
            value.text = TrimTrailingBlanks(DecodeStoredText(field, column, value.damaged));  // what the record still holds
        return value;
    }
    field = field.first(storage);
    if (AllZero(field) && ZeroFieldText(column.typeCode, options.mode, value.text))
        return value;

    switch (column.typeCode) {
    case TypeCode::kTypeNumeric:
    case TypeCode::kTypeDecimal:
        return DecodeNumeric(field, column);
    case TypeCode::kTypeBlob:
        return DecodeBlob(field, options);
    case TypeCode::kTypeSmallint:
    case TypeCode::kTypeInteger:
        value.text = FormatIntegerBytes(field, column.typeCode);
        return value;
    case TypeCode::kTypeBigint:
        // A scale, where the definition gives one, places the decimal point.
        value.text = FormatScaledInteger(ReadSigned(field, 8), column.scale);
        return value;
    case TypeCode::kTypeFloat: {
        const CSinglePrecision single = CSinglePrecision::FromBytes(field.first<4>());
        return DecodeFloatingPoint(single.Value(), FormatFloatText(single.ValueAsFloat()));
    }
    case TypeCode::kTypeDouble: {
        const double number = std::bit_cast<double>(ReadLittleEndian(field, 8));
        return DecodeFloatingPoint(number, FormatDoubleText(number));
    }
    case TypeCode::kTypeDate:
        return DecodeDate(field, options.mode);
    case TypeCode::kTypeTime:
        return DecodeTime(field, options.mode);
    case TypeCode::kTypeTimestamp:
        return DecodeTimestamp(field, options.mode);
    case TypeCode::kTypeBoolean: {
        const std::uint64_t flag = ReadLittleEndian(field, 2);
        value.text = flag == 1 ? "True" : flag == 0 ? "False" : "";
        // The server stores 1 or 0 only.
        value.damaged = flag > 1;
        return value;
    }
    case TypeCode::kTypeChar:
        // Blank padding is dropped; blanks inside the text are kept.
        value.text = TrimTrailingBlanks(DecodeStoredText(field, column, value.damaged));
        value.utf8 = catalogue::HoldsUtf8Text(column);
        return value;
    default:
        return value;
    }
}

FieldValue DecodeInsertValue(std::span<const std::byte> field, const catalogue::COLUMN& column,
                             const DecodeOptions& options, InsertValue& bound)
{
    bound.kind = ValueKind::Null;
    bound.scale = 0;
    bound.text.clear();
    const std::size_t storage = FieldStorageSize(column);
    // The numbers (and an exact restore's dates and times) are bound from
    // their bytes, with the checks DecodeFieldValue makes; the rest take the
    // text the statement would hold.
    if (column.dimensions == 0 && column.length != 0 && storage != 0 && field.size() >= storage) {
        field = field.first(storage);
        FieldValue value;
        const bool exact = options.mode == OutputMode::Exact;
        switch (column.typeCode) {
        case TypeCode::kTypeSmallint:
        case TypeCode::kTypeInteger:
            bound.kind = ValueKind::Integer;
            bound.integer = ReadSigned(field, storage);
            return value;
        case TypeCode::kTypeBigint:
        case TypeCode::kTypeNumeric:
        case TypeCode::kTypeDecimal: {
            std::size_t width = storage;
            if (width > 8) {
                value.numericTooWide = true;
                width = 8;
            }
            bound.kind = ValueKind::Integer;
            bound.integer = ReadSigned(field, width);
            bound.scale = static_cast<std::int16_t>(column.scale);
            return value;
        }
        case TypeCode::kTypeFloat: {
            const float number = CSinglePrecision::FromBytes(field.first<4>()).ValueAsFloat();
            value.nullLiteral = !std::isfinite(number);
            if (!value.nullLiteral) {
                bound.kind = ValueKind::Float;
                bound.real = number;
            }
            return value;
        }
        case TypeCode::kTypeDouble: {
            const double number = std::bit_cast<double>(ReadLittleEndian(field, 8));
            value.nullLiteral = !std::isfinite(number);
            if (!value.nullLiteral) {
                bound.kind = ValueKind::Double;
                bound.real = number;
            }
            return value;
        }
        case TypeCode::kTypeBoolean: {
            const std::uint64_t flag = ReadLittleEndian(field, 2);
            value.damaged = flag > 1;
            bound.kind = ValueKind::Boolean;
            bound.integer = flag == 1 ? 1 : 0;
            return value;
        }
        case TypeCode::kTypeDate:
            if (!exact)
                break;
            bound.kind = ValueKind::Date;
            bound.integer = ReadDayNumber(field);
            value.damaged = !DayNumberInTargetRange(bound.integer);
            return value;
        case TypeCode::kTypeTime:
            if (!exact)
                break;
            bound.kind = ValueKind::Time;
            bound.time = static_cast<std::uint32_t>(ReadLittleEndian(field, 4));
            value.damaged = bound.time >= 24u * 3600u * ods::kTimeUnitsPerSecond;
            return value;
        case TypeCode::kTypeTimestamp:
            if (!exact)
                break;
            bound.kind = ValueKind::Timestamp;
            bound.integer = ReadDayNumber(field);
            bound.time = static_cast<std::uint32_t>(ReadLittleEndian(field.subspan(4), 4));
            value.damaged = !DayNumberInTargetRange(bound.integer) ||
                            bound.time >= 24u * 3600u * ods::kTimeUnitsPerSecond;
            return value;
        default:
            break;
        }
    }
    FieldValue value = DecodeFieldValue(field, column, options);
    if (value.damaged || value.nullLiteral || storage == 0) {
        bound.kind = ValueKind::Null;
    } else if (value.parameter) {
        bound.kind = ValueKind::Parameter;
    } else {
        bound.kind = value.utf8 ? ValueKind::Utf8Text : ValueKind::Text;
        bound.text = value.text;
    }
    return value;
}

std::string FormatIntegerBytes(std::span<const std::byte> bytes, std::uint8_t typeCode)
{
    const std::size_t widest = typeCode == TypeCode::kTypeSmallint ? 2 : typeCode == TypeCode::kTypeInteger ? 4 : 0;
    if (bytes.empty() || bytes.size() > widest)
        return {};
    return SignedDigits(ReadSigned(bytes, bytes.size()));
}

std::string FormatScaledInteger(std::int64_t value, std::uint16_t scale)
{
    const auto magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::array<char, 24> digits{};
    const auto count = static_cast<std::size_t>(std::to_chars(digits.data(), digits.data() + digits.size(), magnitude).ptr -
                                                digits.data());
    const std::string_view all(digits.data(), count);
    if (scale == 0)
        return (value < 0 ? "-" : "") + std::string(all);
    // Sign, the integer digits (none when every digit lies after the point),
    // the point, then scale digits, left-padded with zeros.
    std::string text;
    text.reserve(1 + std::max<std::size_t>(count, scale) + 1);
    if (value < 0)
        text += '-';
    if (count > scale)
        text += all.substr(0, count - scale);
    text += '.';
    if (count < scale)
        text.append(scale - count, '0');
    text += all.substr(count > scale ? count - scale : 0);
    return text;
}

std::string FormatCalendarDate(std::int64_t dayNumber, OutputMode mode)
{
    ShortText text;
    PutCalendarDate(text, dayNumber, mode);
    return text.Text();
}

bool DayNumberInTargetRange(std::int64_t dayNumber)
{
    const std::int64_t year = DateOfDayNumber(dayNumber).year;
    return year >= 1 && year <= 9999;
}

std::string FormatIsoDate(std::int64_t dayNumber)
{
    ShortText text;
    PutIsoDate(text, dayNumber);
    return text.Text();
}

std::string FormatIsoTime(std::uint32_t time)
{
    ShortText text;
    PutIsoTime(text, time);
    return text.Text();
}

std::string FormatClockTime(std::uint32_t time, OutputMode mode)
{
    ShortText text;
    PutClockTime(text, time, mode);
    return text.Text();
}

std::string FormatDoubleText(double value)
{
    if (!std::isfinite(value))
        return NonFiniteText(value);
    return ShortestText(value);
}

std::string FormatFloatText(float value)
{
    if (!std::isfinite(value))
        return NonFiniteText(value);
    // Six decimals, as "%f" writes them, but never with the locale's decimal mark.
    std::array<char, 64> buf{};
    const auto fixed =
        std::to_chars(buf.data(), buf.data() + buf.size(), static_cast<double>(value), std::chars_format::fixed, 6);
    if (fixed.ec == std::errc()) {
        const std::string_view text(buf.data(), static_cast<std::size_t>(fixed.ptr - buf.data()));
        float back = 0;
        const auto parsed = std::from_chars(text.data(), text.data() + text.size(), back);
        if (parsed.ec == std::errc() && std::bit_cast<std::uint32_t>(back) == std::bit_cast<std::uint32_t>(value) &&
            CountDigits(text) <= 18)
            return std::string(text);
    }
    return ShortestText(value);
}

std::string EscapeSqlText(std::string_view text)
{
    std::string out;
    AppendEscapedSqlText(out, text);
    return out;
}

std::string InsertValueText(std::uint8_t typeCode, const FieldValue& value)
{
    std::string out;
    AppendInsertValueText(out, typeCode, value);
    return out;
}

void AppendEscapedSqlText(std::string& out, std::string_view text)
{
    out.reserve(out.size() + text.size() + 2);
    // Stretches without an apostrophe or a zero character are copied whole.
    std::size_t stretch = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (c != '\'' && c != '\0')
            continue;
        out.append(text.substr(stretch, at - stretch));
        if (c == '\'')
            out += "''";
        stretch = at + 1;
    }
    out.append(text.substr(stretch));
}

void AppendInsertValueText(std::string& out, std::uint8_t typeCode, const FieldValue& value)
{
    if (value.nullLiteral) {
        out += "NULL";
    } else if (value.parameter) {
        out += value.text;
    } else if (IsQuotedType(typeCode)) {
        if (value.utf8)
            out += ods::kUtf8Introducer;
        out += '\'';
        AppendEscapedSqlText(out, value.text);
        out += '\'';
    } else {
        AppendEscapedSqlText(out, value.text);
    }
}

std::string NumericProblemText(std::uint8_t typeCode)
{
    return typeCode == TypeCode::kTypeDecimal ? "problem in decimal" : "problem in numeric";
}

}  // namespace ravelin::extract

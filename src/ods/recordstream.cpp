#include "ods/recordstream.h"

#include <algorithm>
#include <array>
#include <limits>

#include "ods/readingcontext.h"
#include "ods/textcodec.h"

namespace ravelin::ods {

RecordStream::RecordStream(std::vector<std::byte> bytes) : bytes_(std::move(bytes))
{
    if (bytes_.size() > std::numeric_limits<std::uint16_t>::max())
        bytes_.resize(std::numeric_limits<std::uint16_t>::max());
}

RecordStream RecordStream::FromFile(ReadingContext& context, std::uint64_t offset, std::uint16_t length,
                                    std::uint64_t pageEnd)
{
    std::size_t take = 0;
    if (offset < pageEnd)
        take = static_cast<std::size_t>(std::min<std::uint64_t>(length, pageEnd - offset));
    std::vector<std::byte> bytes(take);
    context.ReadAt(offset, bytes);
    return RecordStream(std::move(bytes));
}

std::uint16_t RecordStream::remainingLength() const
{
    return cursor_ < bytes_.size() ? static_cast<std::uint16_t>(bytes_.size() - cursor_) : 0;
}

std::uint8_t RecordStream::ReadByte()
{
    const std::uint8_t value = cursor_ < bytes_.size() ? std::to_integer<std::uint8_t>(bytes_[cursor_]) : 0;
    if (cursor_ < bytes_.size())
        ++cursor_;
    return value;
}

std::uint16_t RecordStream::ReadWord()
{
    const unsigned lo = ReadByte();
    const unsigned hi = ReadByte();
    return static_cast<std::uint16_t>(lo | (hi << 8));
}

std::uint32_t RecordStream::ReadLong()
{
    const std::uint32_t lo = ReadWord();
    const std::uint32_t hi = ReadWord();
    return lo | (hi << 16);
}

std::uint8_t RecordStream::ReadControl()
{
    controlByte = ReadByte();
    return controlByte;
}

void RecordStream::SeekBy(int distance)
{
    if (distance < 0) {
        const auto back = static_cast<std::size_t>(-static_cast<long long>(distance));
        cursor_ = cursor_ >= back ? cursor_ - back : 0;
    } else {
        cursor_ = std::min(bytes_.size(), cursor_ + static_cast<std::size_t>(distance));
    }
}

void RecordStream::SeekTo(std::size_t offset)
{
    cursor_ = std::min(offset, bytes_.size());
}

std::string RecordStream::ReadStoredString(std::uint16_t length, bool skipLengthWord)
{
    if (skipLengthWord) {
        SeekBy(4);
        length = length >= 4 ? static_cast<std::uint16_t>(length - 4) : 0;
    }
    const std::size_t start = cursor_;
    const std::size_t take = std::min<std::size_t>(length, bytes_.size() - std::min(start, bytes_.size()));
    SeekBy(length);
    return DecodeText(std::span<const std::byte>(bytes_).subspan(std::min(start, bytes_.size()), take));
}

std::string SpacesToUnderscores(std::string text)
{
    std::replace(text.begin(), text.end(), ' ', '_');
    return text;
}

}  // namespace ravelin::ods

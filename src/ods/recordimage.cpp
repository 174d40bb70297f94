#include "ods/recordimage.h"

#include <algorithm>
#include <cstdint>

#include "ods/constants.h"

namespace ravelin::ods {

std::size_t RecordImage::Expand(std::span<const std::byte> compressed, std::size_t limit)
{
    limit_ = std::min(limit, kMaxRecordLength);
    bytes_.clear();
    bytes_.reserve(limit_);
    return Append(compressed);
}

std::size_t RecordImage::Append(std::span<const std::byte> compressed)
{
    const std::size_t before = bytes_.size();
    overran_ = false;
    std::size_t pos = 0;
    while (bytes_.size() < limit_ && pos < compressed.size()) {
        const auto control = std::to_integer<std::uint8_t>(compressed[pos++]);
        if (control == 0)
            break;
        const std::size_t room = limit_ - bytes_.size();
        if (control < 128) {
            const std::size_t stored = std::min<std::size_t>(control, compressed.size() - pos);
            const std::size_t take = std::min(stored, room);
            overran_ = overran_ || take < stored;
            bytes_.insert(bytes_.end(), compressed.begin() + static_cast<std::ptrdiff_t>(pos),
                          compressed.begin() + static_cast<std::ptrdiff_t>(pos + take));
            pos += stored;
            if (stored < control)
                break;  // the record ends inside the literal run
        } else {
            if (pos >= compressed.size())
                break;  // a repeat run without its byte
            const std::size_t count = 256u - control;
            overran_ = overran_ || count > room;
            bytes_.insert(bytes_.end(), std::min(count, room), compressed[pos++]);
        }
    }
    // Runs left once the limit is reached (a 0 control ends the data).
    if (bytes_.size() == limit_ && pos < compressed.size() && compressed[pos] != std::byte{0})
        overran_ = true;
    return bytes_.size() - before;
}

bool RecordImage::ApplyDifferences(std::span<const std::byte> differences, std::size_t length)
{
    length = std::min(length, kMaxRecordLength);
    std::vector<std::byte> older(length, std::byte{0});
    std::copy_n(bytes_.begin(), std::min(bytes_.size(), length), older.begin());
    std::size_t at = 0;  // position in the record
    for (std::size_t pos = 0; pos < differences.size();) {
        const auto control = static_cast<std::int8_t>(std::to_integer<std::uint8_t>(differences[pos++]));
        if (control > 0) {
            const auto count = static_cast<std::size_t>(control);
            if (differences.size() - pos < count)
                return false;
            for (std::size_t i = 0; i < count; ++i, ++at) {
                if (at < length)
                    older[at] = differences[pos + i];
            }
            pos += count;
        } else {
            at += static_cast<std::size_t>(-control);
        }
    }
    bytes_ = std::move(older);
    limit_ = length;
    overran_ = false;
    return true;
}

std::span<const std::byte> RecordImage::Field(std::size_t offset, std::size_t length) const
{
    if (offset >= bytes_.size())
        return {};
    return std::span<const std::byte>(bytes_).subspan(offset, std::min(length, bytes_.size() - offset));
}

}  // namespace ravelin::ods

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
    std::size_t pos = 0;
    while (bytes_.size() < limit_ && pos < compressed.size()) {
        const auto control = std::to_integer<std::uint8_t>(compressed[pos++]);
        if (control == 0)
            break;
        const std::size_t room = limit_ - bytes_.size();
        if (control < 128) {
            const std::size_t stored = std::min<std::size_t>(control, compressed.size() - pos);
            const std::size_t take = std::min(stored, room);
            bytes_.insert(bytes_.end(), compressed.begin() + static_cast<std::ptrdiff_t>(pos),
                          compressed.begin() + static_cast<std::ptrdiff_t>(pos + take));
            pos += stored;
            if (stored < control)
                break;  // the record ends inside the literal run
        } else {
            if (pos >= compressed.size())
                break;  // a repeat run without its byte
            const std::size_t count = 256u - control;
            bytes_.insert(bytes_.end(), std::min(count, room), compressed[pos++]);
        }
    }
    return bytes_.size() - before;
}

std::span<const std::byte> RecordImage::Field(std::size_t offset, std::size_t length) const
{
    if (offset >= bytes_.size())
        return {};
    return std::span<const std::byte>(bytes_).subspan(offset, std::min(length, bytes_.size() - offset));
}

}  // namespace ravelin::ods

#include "ods/storedarray.h"

#include "ods/littleendian.h"

namespace ravelin::ods {
namespace {

constexpr std::size_t kHeaderLength = 16;
// The smallest dimension entry: its two bounds.
constexpr std::size_t kBoundsLength = 8;

}  // namespace

std::optional<StoredArray> ParseStoredArray(std::span<const std::byte> bytes)
{
    if (bytes.size() < kHeaderLength)
        return std::nullopt;
    const std::size_t dimensions = std::to_integer<std::size_t>(bytes[1]);
    const std::size_t descriptorLength = LittleEndian(bytes, 6, 2);
    StoredArray array;
    array.elementLength = static_cast<std::uint16_t>(LittleEndian(bytes, 4, 2));
    array.elementCount = LittleEndian(bytes, 8, 4);
    const std::uint32_t totalLength = LittleEndian(bytes, 12, 4);
    if (dimensions == 0 || array.elementLength == 0 || descriptorLength < kHeaderLength ||
        descriptorLength > bytes.size() || (descriptorLength - kHeaderLength) % dimensions != 0)
        return std::nullopt;
    const std::size_t entryLength = (descriptorLength - kHeaderLength) / dimensions;
    if (entryLength < kBoundsLength)
        return std::nullopt;

    std::uint64_t count = 1;
    for (std::size_t d = 0; d < dimensions; ++d) {
        const std::size_t end = kHeaderLength + (d + 1) * entryLength;
        ArrayBound bound;
        bound.lower = static_cast<std::int32_t>(LittleEndian(bytes, end - 8, 4));
        bound.upper = static_cast<std::int32_t>(LittleEndian(bytes, end - 4, 4));
        if (bound.upper < bound.lower)
            return std::nullopt;
        count *= std::uint64_t(std::int64_t{bound.upper} - bound.lower + 1);
        if (count > 0xFFFFFFFFu)
            return std::nullopt;
        array.bounds.push_back(bound);
    }
    if (count != array.elementCount || std::uint64_t{array.elementLength} * count != totalLength ||
        totalLength > bytes.size() - descriptorLength)
        return std::nullopt;
    array.elements = bytes.subspan(descriptorLength, totalLength);
    return array;
}

}  // namespace ravelin::ods

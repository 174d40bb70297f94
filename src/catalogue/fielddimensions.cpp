#include "catalogue/fielddimensions.h"

#include <map>
#include <string>

#include "catalogue/cataloguerecord.h"
#include "ods/constants.h"
#include "ods/littleendian.h"
#include "ods/recordimage.h"
#include "ods/slotwalk.h"
#include "ods/textcodec.h"

namespace ravelin::catalogue {
namespace {

constexpr std::size_t kDimensionRecordLength = 84;
constexpr std::size_t kNameAt = 4;
constexpr std::size_t kDimensionAt = 72;
constexpr std::size_t kLowerAt = 76;
constexpr std::size_t kUpperAt = 80;
// The null bits of the name, the dimension and both bounds.
constexpr unsigned kFieldNullBits = 0x0F;
// More dimensions than any field declares.
constexpr std::uint32_t kMostDimensions = 16;

}  // namespace

void ReadFieldDimensions(CatalogueContext& scan, const ods::PageListNode& node)
{
    // Dimensions by field, by dimension number, as met.
    std::map<std::string, std::map<std::uint32_t, ods::ArrayBound>> found;
    ods::RecordImage image;
    ods::ForEachRecordSlot(scan.context, node, scan.link.stopRequested, [&](ods::RecordStream& record) {
        const std::optional<std::span<const std::byte>> data = ExpandFixedRecord(record, image, kDimensionRecordLength);
        if (!data || (std::to_integer<unsigned>((*data)[0]) & kFieldNullBits) != 0)
            return;
        std::string name = ods::DecodeText(data->subspan(kNameAt, ods::kNameFieldWidth));
        name.erase(name.find_last_not_of(' ') + 1);
        const std::uint32_t dimension = ods::LittleEndian(*data, kDimensionAt, 2);
        ods::ArrayBound bound;
        bound.lower = static_cast<std::int32_t>(ods::LittleEndian(*data, kLowerAt, 4));
        bound.upper = static_cast<std::int32_t>(ods::LittleEndian(*data, kUpperAt, 4));
        if (name.empty() || dimension >= kMostDimensions || bound.upper < bound.lower)
            return;
        found[name].emplace(dimension, bound);
    });
    for (auto& [name, dimensions] : found) {
        std::vector<ods::ArrayBound> bounds;
        for (const auto& [dimension, bound] : dimensions) {
            if (dimension != bounds.size())
                break;
            bounds.push_back(bound);
        }
        if (bounds.size() == dimensions.size())
            scan.model.fieldBounds.emplace(name, std::move(bounds));
    }
}

}  // namespace ravelin::catalogue

#include "catalogue/generators.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "catalogue/cataloguerecord.h"
#include "ods/constants.h"
#include "ods/littleendian.h"
#include "ods/recordimage.h"
#include "ods/slotwalk.h"
#include "ods/textcodec.h"

namespace ravelin::catalogue {
namespace {

// A generators record, decompressed: null flags, name, id, system flag
// (then the description's blob id and later fields, not read).
constexpr std::size_t kGeneratorRecordLength = 76;
constexpr std::size_t kNameAt = 4;
constexpr std::size_t kIdAt = 72;
constexpr std::size_t kSystemFlagAt = 74;
// The null bits of the name and the id.
constexpr unsigned kNameAndIdNullBits = 0x03;

std::optional<GENERATOR> ReadGeneratorRecord(const ods::RecordStream& record, ods::RecordImage& image)
{
    const std::optional<std::span<const std::byte>> expanded = ExpandFixedRecord(record, image, kGeneratorRecordLength);
    if (!expanded || (std::to_integer<unsigned>((*expanded)[0]) & kNameAndIdNullBits) != 0)
        return std::nullopt;
    const std::span<const std::byte> data = *expanded;
    std::string name = ods::DecodeText(data.subspan(kNameAt, ods::kNameFieldWidth));
    name.erase(name.find_last_not_of(' ') + 1);
    if (name.empty())
        return std::nullopt;
    GENERATOR generator;
    generator.name = std::move(name);
    generator.id = static_cast<std::uint16_t>(ods::LittleEndian(data, kIdAt, 2));
    generator.system = ods::LittleEndian(data, kSystemFlagAt, 2) != 0;
    return generator;
}

}  // namespace

void ReadGenerators(CatalogueContext& scan, const ods::PageListNode& node)
{
    ods::RecordImage image;
    ods::ForEachRecordSlot(scan.context, node, scan.link.stopRequested, [&](ods::RecordStream& record) {
        std::optional<GENERATOR> generator = ReadGeneratorRecord(record, image);
        if (!generator)
            return;
        const bool known = std::any_of(scan.model.generators.begin(), scan.model.generators.end(),
                                       [&](const GENERATOR& other) { return other.name == generator->name; });
        if (!known)
            scan.model.generators.push_back(std::move(*generator));
    });
}

void ReadGeneratorValues(CatalogueContext& scan, const ods::PageListNode& node)
{
    const std::uint32_t pageSize = scan.context.pageSize;
    if (pageSize <= ods::kGeneratorValuesOffset)
        return;
    const std::uint32_t perPage = (pageSize - ods::kGeneratorValuesOffset) / 8;
    std::set<std::uint32_t> sequences;
    std::vector<std::byte> page(pageSize);
    for (const std::uint64_t position : node.pagePositions) {
        if (scan.link.Stopped())
            return;
        scan.context.ReadAt(position, page);
        if (std::to_integer<std::uint8_t>(page[0]) != ods::kGeneratorPage)
            continue;
        const std::uint32_t sequence = ods::LittleEndian(page, ods::kGeneratorSequenceOffset, 4);
        // A sequence beyond every 16-bit id belongs to no generator.
        if (std::uint64_t{sequence} * perPage > 0xFFFF || !sequences.insert(sequence).second)
            continue;
        for (std::uint32_t k = 0; k < perPage; ++k) {
            const std::uint64_t bits = ods::LittleEndian64(page, ods::kGeneratorValuesOffset + 8 * k);
            scan.model.generatorValues[sequence * perPage + k] = static_cast<std::int64_t>(bits);
        }
    }
}

std::optional<std::int64_t> GeneratorValue(const SchemaModel& model, std::uint16_t id)
{
    const auto found = model.generatorValues.find(id);
    if (found == model.generatorValues.end())
        return std::nullopt;
    return found->second;
}

}  // namespace ravelin::catalogue

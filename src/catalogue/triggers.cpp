#include "catalogue/triggers.h"

#include <utility>
#include <vector>

#include "catalogue/cataloguerecord.h"
#include "catalogue/readers.h"
#include "ods/constants.h"
#include "ods/littleendian.h"
#include "ods/recordstream.h"
#include "ods/slotwalk.h"
#include "ods/textcodec.h"

namespace ravelin::catalogue {
namespace {

constexpr std::size_t kTriggerRecordLength = 174;
// Fields after the system flag, added by later servers, lie beyond these.
constexpr std::size_t kLongestTriggerRecord = 512;

std::string NameAt(std::span<const std::byte> data, std::size_t at)
{
    std::string name = ods::DecodeText(data.subspan(at, ods::kNameFieldWidth));
    name.erase(std::min(name.find('\0'), name.find_last_not_of(' ') + 1));
    return name;
}

}  // namespace

std::optional<TriggerRecord> ReadTriggerRecord(std::span<const std::byte> runs, ods::RecordImage& image)
{
    image.Expand(runs, kLongestTriggerRecord);
    if (image.overran() || image.size() < kTriggerRecordLength)
        return std::nullopt;
    const std::span<const std::byte> data = image.bytes();
    const auto isNull = [&data](unsigned field) {
        return (std::to_integer<unsigned>(data[field / 8]) >> (field % 8) & 1u) != 0;
    };
    TriggerRecord trigger;
    trigger.name = NameAt(data, 4);
    trigger.relationName = NameAt(data, 4 + ods::kNameFieldWidth);
    if (trigger.name.empty() || trigger.relationName.empty())
        return std::nullopt;
    trigger.sequence = static_cast<std::uint16_t>(ods::LittleEndian(data, 138, 2));
    trigger.type = static_cast<std::uint16_t>(ods::LittleEndian(data, 140, 2));
    constexpr unsigned kSourceField = 4;
    constexpr unsigned kInactiveField = 7;
    constexpr unsigned kSystemField = 8;
    if (!isNull(kSourceField)) {
        const ods::BlobId id{ods::LittleEndian(data, 144, 4), ods::LittleEndian(data, 148, 4)};
        if (id.relationId == ods::kRelTwelve)
            trigger.source = id;
    }
    trigger.inactive = !isNull(kInactiveField) && ods::LittleEndian(data, 168, 2) != 0;
    trigger.system = !isNull(kSystemField) && ods::LittleEndian(data, 170, 2) != 0;
    return trigger;
}

void ReadTriggers(CatalogueContext& scan, const ods::PageListNode& node)
{
    ods::RecordImage image;
    std::vector<TriggerRecord> found;
    ods::ForEachRecordSlot(scan.context, node, scan.link.stopRequested, [&](ods::RecordStream& record) {
        const auto opened = OpenCatalogueRecord(scan.context, record, node.relationId);
        if (!opened)
            return;
        std::optional<TriggerRecord> trigger = ReadTriggerRecord(opened->data.bytes(), image);
        if (trigger && !trigger->system)
            found.push_back(std::move(*trigger));
    });
    std::vector<std::pair<std::string, ods::BlobId>> sources;
    for (const TriggerRecord& trigger : found) {
        if (trigger.source)
            sources.emplace_back(trigger.name, *trigger.source);
    }
    std::map<std::string, std::string> texts;
    if (!sources.empty() && !scan.link.Stopped())
        texts = ReadStoredTexts(scan, ods::kRelTwelve, sources);
    for (TriggerRecord& trigger : found) {
        TRIGGER entry;
        entry.name = ods::SpacesToUnderscores(trigger.name);
        entry.relationName = ods::SpacesToUnderscores(trigger.relationName);
        entry.sequence = trigger.sequence;
        entry.type = trigger.type;
        entry.inactive = trigger.inactive;
        if (const auto text = texts.find(trigger.name); text != texts.end())
            entry.source = text->second;
        scan.model.triggers.push_back(std::move(entry));
    }
}

}  // namespace ravelin::catalogue

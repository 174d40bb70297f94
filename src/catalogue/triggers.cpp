#include "catalogue/triggers.h"

#include <algorithm>
#include <functional>
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
// The records of these catalogues are read up to this length; fields added
// by later servers lie after the ones read.
constexpr std::size_t kLongestRecord = 512;

std::string NameAt(std::span<const std::byte> data, std::size_t at)
{
    std::string name = ods::DecodeText(data.subspan(at, ods::kNameFieldWidth));
    name.erase(std::min(name.find('\0'), name.find_last_not_of(' ') + 1));
    return name;
}

// Every whole current record of the node, decompressed, that is at least
// shortest bytes long, handed to take.
void ForEachExpandedRecord(CatalogueContext& scan, const ods::PageListNode& node, std::size_t shortest,
                           const std::function<void(std::span<const std::byte>)>& take)
{
    ods::RecordImage image;
    ods::ForEachRecordSlot(scan.context, node, scan.link.stopRequested, [&](ods::RecordStream& record) {
        const auto opened = OpenCatalogueRecord(scan.context, record, node.relationId);
        if (!opened)
            return;
        image.Expand(opened->data.bytes(), kLongestRecord);
        if (!image.overran() && image.size() >= shortest)
            take(image.bytes());
    });
}

}  // namespace

std::optional<TriggerRecord> ReadTriggerRecord(std::span<const std::byte> runs, ods::RecordImage& image)
{
    image.Expand(runs, kLongestRecord);
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

void ReadProcedures(CatalogueContext& scan, const ods::PageListNode& node)
{
    constexpr std::size_t kProcedureRecordLength = 96;  // up to the source's blob id
    constexpr unsigned kSourceField = 5;
    std::vector<std::pair<std::string, ods::BlobId>> sources;
    std::vector<std::string> names;
    ForEachExpandedRecord(scan, node, kProcedureRecordLength, [&](std::span<const std::byte> data) {
        const std::string name = NameAt(data, 4);
        if (name.empty())
            return;
        names.push_back(name);
        const bool sourceNull = (std::to_integer<unsigned>(data[0]) >> kSourceField & 1u) != 0;
        const ods::BlobId id{ods::LittleEndian(data, 88, 4), ods::LittleEndian(data, 92, 4)};
        if (!sourceNull && id.relationId == ods::kRelProcedures)
            sources.emplace_back(name, id);
    });
    std::map<std::string, std::string> texts;
    if (!sources.empty() && !scan.link.Stopped())
        texts = ReadStoredTexts(scan, ods::kRelProcedures, sources);
    for (const std::string& name : names) {
        PROCEDURE procedure;
        procedure.name = ods::SpacesToUnderscores(name);
        if (const auto text = texts.find(name); text != texts.end())
            procedure.source = text->second;
        scan.model.procedures.push_back(std::move(procedure));
    }
}

void ReadProcedureParameters(CatalogueContext& scan, const ods::PageListNode& node)
{
    constexpr std::size_t kParameterRecordLength = 142 + ods::kNameFieldWidth;
    ForEachExpandedRecord(scan, node, kParameterRecordLength, [&](std::span<const std::byte> data) {
        PROCEDUREPARAMETER parameter;
        parameter.name = ods::SpacesToUnderscores(NameAt(data, 4));
        parameter.procedureName = ods::SpacesToUnderscores(NameAt(data, 4 + ods::kNameFieldWidth));
        parameter.number = static_cast<std::uint16_t>(ods::LittleEndian(data, 138, 2));
        parameter.output = ods::LittleEndian(data, 140, 2) != 0;
        parameter.fieldSource = NameAt(data, 142);
        if (!parameter.name.empty() && !parameter.procedureName.empty())
            scan.model.procedureParameters.push_back(std::move(parameter));
    });
}

void ReadExceptions(CatalogueContext& scan, const ods::PageListNode& node)
{
    constexpr std::size_t kExceptionRecordLength = 166;
    constexpr std::size_t kMessageAt = 76;
    constexpr std::size_t kLongestMessage = 78;
    constexpr std::size_t kSystemFlagAt = 164;
    ForEachExpandedRecord(scan, node, kExceptionRecordLength, [&](std::span<const std::byte> data) {
        EXCEPTION exception;
        exception.name = NameAt(data, 4);
        const std::size_t length = ods::LittleEndian(data, kMessageAt, 2);
        if (exception.name.empty() || length > kLongestMessage || ods::LittleEndian(data, kSystemFlagAt, 2) != 0)
            return;
        exception.name = ods::SpacesToUnderscores(std::move(exception.name));
        exception.message = ods::DecodeText(data.subspan(kMessageAt + 2, length));
        scan.model.exceptions.push_back(std::move(exception));
    });
}

}  // namespace ravelin::catalogue

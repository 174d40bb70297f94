#include "catalogue/indices.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <vector>

#include "catalogue/cataloguerecord.h"
#include "catalogue/readers.h"
#include "ods/constants.h"
#include "ods/littleendian.h"
#include "ods/slotwalk.h"
#include "ods/textcodec.h"

namespace ravelin::catalogue {

namespace {

bool IsLiteralRun(std::uint8_t control) { return control >= 1 && control <= 127; }

// Byte 0x14 also marks the filler before the index name of a segment record.
constexpr std::uint8_t kSegmentNameMarker = 0x14;
// "NO NO " (the two deferral flags) before the index name of a constraint.
constexpr std::uint8_t kDeferralFlagsWidth = 6;
// Constraint types of up to 6 characters ("UNIQUE", "CHECK") have their own
// filler; longer ones ("PRIMARY KEY", "FOREIGN KEY") fill the 11-character
// field and run on into the relation name.
constexpr std::uint8_t kShortConstraintType = 6;
constexpr std::uint8_t kConstraintTypeWidth = 11;
// First byte of a constraint record whose index name is absent.
constexpr std::uint8_t kNoIndexNullFlags = 0xE0;
// Repeat run of five zero bytes: the foreign-key name follows.
constexpr std::uint8_t kFiveZeros = 0xFB;

// Where the segments of each index met by one walk stand in the index.
struct SegmentOrder {
    bool fromThisWalk = true;  // the node had no segments before the walk
    std::vector<std::optional<std::uint16_t>> positions;
};

// Puts the segments of every index into the order of their stored positions
// (records are not always stored in that order). An index keeps the order
// its records were met in when a position is missing or repeated.
void OrderSegmentsByPosition(SchemaModel& model, const std::map<std::string, SegmentOrder>& orders)
{
    for (const auto& [name, order] : orders) {
        IndexNode* node = model.FindIndex(name);
        if (!node || !order.fromThisWalk || node->segments.size() != order.positions.size())
            continue;
        std::vector<std::uint16_t> positions;
        for (const auto& position : order.positions) {
            if (!position)
                break;
            positions.push_back(*position);
        }
        if (positions.size() != order.positions.size())
            continue;
        std::vector<std::uint16_t> sorted = positions;
        std::sort(sorted.begin(), sorted.end());
        if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end())
            continue;
        std::vector<std::size_t> permutation(positions.size());
        std::iota(permutation.begin(), permutation.end(), std::size_t{0});
        std::stable_sort(permutation.begin(), permutation.end(),
                         [&](std::size_t a, std::size_t b) { return positions[a] < positions[b]; });
        std::vector<std::string> segments;
        segments.reserve(permutation.size());
        for (std::size_t i : permutation)
            segments.push_back(std::move(node->segments[i]));
        node->segments = std::move(segments);
    }
}

}  // namespace

std::optional<IndexAttributes> ReadIndexAttributes(std::span<const std::byte> runs, ods::RecordImage& image)
{
    constexpr std::size_t kIndexRecordLength = 254;
    constexpr std::size_t kNameAt = 4;
    constexpr std::size_t kUniqueAt = 140;
    constexpr std::size_t kInactiveAt = 154;
    constexpr std::size_t kTypeAt = 156;
    // Field numbers, for their null bits.
    constexpr unsigned kUniqueField = 3;
    constexpr unsigned kInactiveField = 6;
    constexpr unsigned kTypeField = 7;
    image.Expand(runs, kIndexRecordLength);
    if (image.size() != kIndexRecordLength || image.overran())
        return std::nullopt;
    const std::span<const std::byte> data = image.bytes();
    const auto flag = [&data](std::size_t at, unsigned field) {
        const bool null = (std::to_integer<unsigned>(data[field / 8]) >> (field % 8) & 1u) != 0;
        return !null && ods::LittleEndian(data, at, 2) != 0;
    };
    IndexAttributes attributes;
    attributes.indexName = ods::DecodeText(data.subspan(kNameAt, ods::kNameFieldWidth));
    attributes.indexName.erase(attributes.indexName.find_last_not_of(' ') + 1);
    attributes.unique = flag(kUniqueAt, kUniqueField);
    attributes.inactive = flag(kInactiveAt, kInactiveField);
    attributes.descending = flag(kTypeAt, kTypeField);
    return attributes;
}

IndexSegmentRecord ParseIndexSegment(ods::RecordStream& data)
{
    IndexSegmentRecord segment;
    data.SeekBy(data.ReadControl());  // the null-flag run
    const std::uint8_t control = data.ReadControl();
    const std::uint8_t value = data.ReadByte();
    if (!IsRepeatRun(control) || (value != 0 && value != kSegmentNameMarker)) {
        data.SeekBy(-2);
        return segment;
    }
    segment.indexName = ods::SpacesToUnderscores(ReadRunName(data, data.ReadByte()));
    if (PassFiller(data)) {
        segment.columnName = ods::SpacesToUnderscores(ReadRunName(data, data.ReadByte()));
        if (PassFiller(data)) {
            if (const auto position = ReadDecompressed(data, 2))
                segment.position = static_cast<std::uint16_t>(*position);
        }
    }
    return segment;
}

IndexRecord ParseIndex(ods::RecordStream& data)
{
    IndexRecord index;
    const std::uint8_t firstRun = data.ReadControl();
    data.SeekBy(4);  // null-flag bytes
    const std::uint8_t nameLength = IsLiteralRun(firstRun) && firstRun >= 4 ? firstRun - 4 : 0;
    index.indexName = ReadRunName(data, nameLength);

    if (!PassFiller(data)) {
        data.SeekBy(-2);
        return index;
    }
    index.relationName = ReadRunName(data, data.ReadByte());

    // Index id and unique flag.
    if (!PassFiller(data))
        return index;
    const std::uint8_t idRun = data.ReadByte();
    if (idRun == 3 || idRun == 1)
        data.SeekBy(idRun);
    if (data.remainingLength() == 0)
        return index;

    // Segment count.
    if (!PassFiller(data))
        return index;
    if (data.ReadByte() == 1)
        data.SeekBy(1);
    if (data.remainingLength() == 0)
        return index;

    const std::uint8_t control = data.ReadControl();
    const std::uint8_t value = data.ReadByte();
    if (control == kFiveZeros && value == 0)
        index.foreignKey = ReadRunName(data, data.ReadByte());
    return index;
}

std::optional<KEYSCONTRAINTS> ParseRelationConstraint(ods::RecordStream& data)
{
    const std::uint8_t firstRun = data.ReadControl();
    const std::uint8_t nullFlags = data.ReadByte();
    data.SeekBy(firstRun >= 1 ? firstRun - 1 : -1);
    if (nullFlags == kNoIndexNullFlags || !PassFiller(data))
        return std::nullopt;

    KEYSCONTRAINTS constraint;
    constraint.constraintName = ReadRunName(data, data.ReadByte());
    if (!PassFiller(data))
        return std::nullopt;

    const std::uint8_t typeRun = data.ReadByte();
    std::uint8_t relationLength = 0;
    if (typeRun <= kShortConstraintType) {
        constraint.constraintType = data.ReadStoredString(typeRun);
        data.SeekBy(2);
        relationLength = data.ReadByte();
    } else {
        constraint.constraintType = data.ReadStoredString(kConstraintTypeWidth);
        relationLength = typeRun > kConstraintTypeWidth ? typeRun - kConstraintTypeWidth : 0;
    }
    if (relationLength > ods::kNameFieldWidth) {
        // A relation name that fills its whole field runs on, in the same
        // literal run, into the deferral flags and the index name.
        constraint.relationName = data.ReadStoredString(ods::kNameFieldWidth);
        const unsigned rest = relationLength - ods::kNameFieldWidth;
        data.SeekBy(std::min<int>(static_cast<int>(rest), kDeferralFlagsWidth));
        if (rest > kDeferralFlagsWidth)
            constraint.indexName = ReadRunName(data, static_cast<std::uint8_t>(rest - kDeferralFlagsWidth));
        return constraint;
    }
    constraint.relationName = ReadRunName(data, relationLength);

    // Without a filler after the relation name the constraint is kept with
    // the type read and no index.
    if (PassFiller(data)) {
        const std::uint8_t indexRun = data.ReadByte();
        data.SeekBy(kDeferralFlagsWidth);
        const std::uint8_t indexLength = indexRun > kDeferralFlagsWidth ? indexRun - kDeferralFlagsWidth : 0;
        constraint.indexName = ReadRunName(data, indexLength);
    }
    return constraint;
}

void ReadIndexSegments(CatalogueContext& scan, const ods::PageListNode& node)
{
    job::WorkerLink& link = scan.link;
    SchemaModel& model = scan.model;
    link.Progress(job::kProgressStart, static_cast<std::intptr_t>(node.pagePositions.size()));
    ods::SlotWalkHooks hooks;
    hooks.afterSlot = [&link] { link.Progress(job::kProgressStep); };
    std::map<std::string, SegmentOrder> orders;
    ods::ForEachRecordSlot(
        scan.context, node, link.stopRequested,
        [&](ods::RecordStream& record) {
            auto opened = OpenCatalogueRecord(scan.context, record, node.relationId);
            if (!opened)
                return;
            IndexSegmentRecord segment = ParseIndexSegment(opened->data);
            auto [order, inserted] = orders.try_emplace(segment.indexName);
            if (inserted) {
                const IndexNode* existing = model.FindIndex(segment.indexName);
                order->second.fromThisWalk = !existing || existing->segments.empty();
            }
            order->second.positions.push_back(segment.position);
            model.AddIndexSegment(segment.indexName, segment.columnName);
        },
        hooks);
    OrderSegmentsByPosition(model, orders);
    if (!link.Stopped())
        link.Progress(job::kProgressEnd);
}

void ReadIndices(CatalogueContext& scan, const ods::PageListNode& node)
{
    job::WorkerLink& link = scan.link;
    link.Progress(job::kProgressStart, static_cast<std::intptr_t>(node.pagePositions.size()));
    ods::SlotWalkHooks hooks;
    hooks.afterSlot = [&link] { link.Progress(job::kProgressStep); };
    ods::RecordImage image;
    ods::ForEachRecordSlot(
        scan.context, node, link.stopRequested,
        [&](ods::RecordStream& record) {
            auto opened = OpenCatalogueRecord(scan.context, record, node.relationId);
            if (!opened)
                return;
            const std::optional<IndexAttributes> attributes = ReadIndexAttributes(opened->data.bytes(), image);
            IndexRecord index = ParseIndex(opened->data);
            // Only indices that have segments enter the model.
            for (IndexNode& existing : scan.model.indices) {
                if (!EqualsNoCase(existing.name, index.indexName))
                    continue;
                // The fixed fields count only when they name the same index.
                if (attributes && (attributes->indexName == index.indexName ||
                                   ods::SpacesToUnderscores(attributes->indexName) == index.indexName)) {
                    existing.attributesRead = true;
                    existing.unique = attributes->unique;
                    existing.descending = attributes->descending;
                    existing.inactive = attributes->inactive;
                }
                existing.name = std::move(index.indexName);
                existing.relationName = std::move(index.relationName);
                existing.foreignKey = std::move(index.foreignKey);
                break;
            }
        },
        hooks);
    if (!link.Stopped())
        link.Progress(job::kProgressEnd);
}

void ReadRelationConstraints(CatalogueContext& scan, const ods::PageListNode& node)
{
    ods::ForEachRecordSlot(scan.context, node, scan.link.stopRequested, [&](ods::RecordStream& record) {
        auto opened = OpenCatalogueRecord(scan.context, record, node.relationId);
        if (!opened)
            return;
        if (auto constraint = ParseRelationConstraint(opened->data))
            scan.model.keyConstraints.push_back(std::move(*constraint));
    });
}

void DeriveColumnKeys(SchemaModel& model, const std::string& tableName)
{
    model.columnKeys.clear();
    for (const IndexNode& index : model.indices) {
        if (index.segments.empty())
            continue;
        const auto constraint =
            std::find_if(model.keyConstraints.begin(), model.keyConstraints.end(),
                         [&](const KEYSCONTRAINTS& entry) { return EqualsNoCase(entry.indexName, index.name); });
        if (constraint == model.keyConstraints.end())
            continue;
        if (!tableName.empty() && !EqualsNoCase(constraint->relationName, tableName))
            continue;
        COLKEYCONSNAME key;
        key.columnName = index.segments.front();
        key.relationName = constraint->relationName;
        const bool generatedName = constraint->constraintName.size() >= 6 &&
                                   EqualsNoCase(std::string_view(constraint->constraintName).substr(0, 6), "INTEG_");
        key.constraintName = generatedName ? " " : constraint->constraintName;
        key.constraintType = constraint->constraintType;
        model.columnKeys.push_back(std::move(key));
    }
}

}  // namespace ravelin::catalogue

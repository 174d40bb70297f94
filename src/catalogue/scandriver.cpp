#include "catalogue/readers.h"
#include "catalogue/generators.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

#include "catalogue/recordformats.h"
#include "ods/constants.h"
#include "ods/pagescan.h"
#include "ods/recordstream.h"
#include "ods/slotwalk.h"
#include "ods/textcodec.h"

namespace ravelin::catalogue {
namespace {

// Decompressed layout of a relations-catalogue record: 4 null-flag bytes,
// then at 28 the relation id, at 36 the 16-bit field id count and at 38 the
// relation name, a field of 67 bytes padded with blanks.
constexpr std::uint8_t kFirstRunLength = 3;
constexpr std::size_t kRelationIdOffset = 28;
constexpr std::size_t kFieldIdCountOffset = 36;
constexpr std::size_t kNameOffset = 38;
// The pre-pass counts pages in 16 bits.
constexpr std::size_t kMaxRelationPages = std::numeric_limits<std::uint16_t>::max();

// Hands out a record's decompressed bytes one by one by following its runs
// in the record's stored bytes; nothing is decompressed beyond the bytes
// asked for.
class RunReader {
public:
    explicit RunReader(ods::RecordStream& record) : record_(record) {}

    // The control byte of a literal run of length bytes has just been read.
    void EnterLiteral(std::uint8_t length) { literalLeft_ = length; }

    // The next decompressed byte; nullopt at the end of the data (a control
    // byte 0, or no more than 1 byte left before a control byte).
    std::optional<std::uint8_t> Next()
    {
        while (literalLeft_ == 0 && repeatLeft_ == 0) {
            if (!record_.CanReadControl())
                return std::nullopt;
            const std::uint8_t control = record_.ReadControl();
            if (control == 0)
                return std::nullopt;
            if (control < 128) {
                literalLeft_ = control;
            } else {
                repeatLeft_ = 256u - control;
                repeatByte_ = record_.ReadByte();
            }
        }
        if (literalLeft_ > 0) {
            if (record_.remainingLength() == 0)
                return std::nullopt;
            --literalLeft_;
            return record_.ReadByte();
        }
        --repeatLeft_;
        return repeatByte_;
    }

    bool Skip(std::size_t count)
    {
        for (; count > 0; --count) {
            if (!Next())
                return false;
        }
        return true;
    }

    // A little-endian value of width bytes; nullopt when the data ends first.
    std::optional<std::uint32_t> Value(std::size_t width)
    {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            const auto byte = Next();
            if (!byte)
                return std::nullopt;
            value |= std::uint32_t{*byte} << (8 * i);
        }
        return value;
    }

private:
    ods::RecordStream& record_;
    unsigned literalLeft_ = 0;
    unsigned repeatLeft_ = 0;
    std::uint8_t repeatByte_ = 0;
};

// The walk over one relations-catalogue record. Yields false for a record
// that does not show the expected shape.
//
// A table's record starts with a literal run of exactly 3 bytes (the null
// flags; a view's starts otherwise). The values are then taken at their
// decompressed offsets, whatever runs they were stored in: a relation id of
// 256 or more, or a name with three equal characters in a row, is stored in
// other runs than the usual one-byte id run followed by a run of zeros and a
// name run.
bool ReadRelationRecord(ods::RecordStream& record, TABLEIDNAME& relation)
{
    const ods::HeaderVerdict verdict = record.ReadRecordHeader(ods::HeaderVariant::RelationPrePass);
    if (verdict != ods::HeaderVerdict::Accepted && verdict != ods::HeaderVerdict::AcceptedFirstFragment)
        return false;
    if (!record.CanReadControl() || record.ReadControl() != kFirstRunLength)
        return false;

    RunReader data(record);
    data.EnterLiteral(kFirstRunLength);
    if (!data.Skip(kRelationIdOffset))
        return false;
    const auto relationId = data.Value(4);
    if (!relationId || !data.Skip(kFieldIdCountOffset - kRelationIdOffset - 4))
        return false;
    const auto fieldIdCount = data.Value(2);
    if (!fieldIdCount)
        return false;

    // The name ends at the first zero byte, the end of the data or the end
    // of its field; the blanks that pad the field are not part of it.
    std::vector<std::byte> name;
    while (name.size() < ods::kNameFieldWidth) {
        const auto byte = data.Next();
        if (!byte || *byte == 0)
            break;
        name.push_back(static_cast<std::byte>(*byte));
    }
    while (!name.empty() && name.back() == std::byte{0x20})
        name.pop_back();
    if (name.empty())
        return false;

    relation.name = ods::SpacesToUnderscores(ods::DecodeText(name));
    relation.relationId = *relationId;
    relation.fieldIdCount = *fieldIdCount;
    return true;
}

void RunCatalogueReader(CatalogueContext& scan, const ods::PageListNode& node)
{
    switch (node.relationId) {
    case ods::kRelRelationFields:
        if (node.pageType == ods::kDataPage)
            ReadRelationFields(scan, node);
        else if (node.pageType == ods::kType12Page)
            ReadDefaultTexts(scan, node);
        break;
    case ods::kRelFields:
        ReadFieldDefinitions(scan, node);
        if (!scan.link.Stopped())
            ApplyUserDomains(scan);
        break;
    case ods::kRelIndexSegments:
        ReadIndexSegments(scan, node);
        break;
    case ods::kRelIndices:
        ReadIndices(scan, node);
        break;
    case ods::kRelRelationConstraints:
        ReadRelationConstraints(scan, node);
        break;
    case ods::kRelFormats:
        if (node.pageType == ods::kDataPage)
            ReadRecordFormats(scan, node);
        break;
    case ods::kRelGenerators:
        if (node.pageType == ods::kDataPage)
            ReadGenerators(scan, node);
        break;
    case 0:
        if (node.pageType == ods::kGeneratorPage)
            ReadGeneratorValues(scan, node);
        break;
    default:
        break;
    }
}

}  // namespace

void ScanDatabase(CatalogueContext& scan)
{
    ods::ScanPages(scan.context, scan.pageLists, scan.link);
    if (scan.link.Stopped())
        return;

    // Relation pre-pass: the table names and ids, which the column readers
    // need before they run.
    for (std::size_t i = 0; i < scan.pageLists.size(); ++i) {
        if (scan.pageLists[i].relationId == ods::kRelRelations)
            ReadRelations(scan, scan.pageLists[i]);
    }
    if (scan.link.Stopped())
        return;

    // Catalogue walk: the column records first (type information is applied
    // only to columns that exist), then the other readers in the order the
    // scan first met a page of each relation.
    const auto isColumnList = [](const ods::PageListNode& node) {
        return node.relationId == ods::kRelRelationFields && node.pageType == ods::kDataPage;
    };
    for (const ods::PageListNode& node : scan.pageLists) {
        if (isColumnList(node) && !scan.link.Stopped())
            RunCatalogueReader(scan, node);
    }
    for (std::size_t i = 0; i < scan.pageLists.size(); ++i) {
        if (scan.link.Stopped())
            break;
        if (!isColumnList(scan.pageLists[i]))
            RunCatalogueReader(scan, scan.pageLists[i]);
    }
    scan.model.pendingSources.clear();
    // The tables' newest record formats complete what the field definitions
    // left unknown or misread.
    if (!scan.link.Stopped())
        ApplyRecordFormats(scan.model);
    // What the catalogue pages lost the formats may still tell: tables and
    // columns whose records were destroyed.
    if (!scan.link.Stopped())
        RebuildFromRecordFormats(scan);
}

void ReadRelations(CatalogueContext& scan, const ods::PageListNode& node)
{
    const std::size_t pages = std::min(node.pagePositions.size(), kMaxRelationPages);
    scan.link.Progress(job::kProgressStart, static_cast<std::intptr_t>(pages));
    ods::SlotWalkHooks hooks;
    hooks.afterSlot = [&scan] { scan.link.Progress(job::kProgressStep); };
    ods::ForEachRecordSlot(
        scan.context, node, scan.link.stopRequested,
        [&scan](ods::RecordStream& record) {
            TABLEIDNAME relation;
            if (!ReadRelationRecord(record, relation))
                return;
            if (relation.relationId >= ods::kFirstUserRelation)
                ++scan.tableCount;
            scan.model.relations.push_back(std::move(relation));
        },
        hooks, pages);
    scan.link.Progress(job::kProgressEnd);
}

}  // namespace ravelin::catalogue

#include "catalogue/readers.h"
#include "catalogue/fielddimensions.h"
#include "catalogue/generators.h"

#include <algorithm>
#include <limits>
#include <map>
#include <optional>
#include <vector>

#include "catalogue/cataloguerecord.h"
#include "catalogue/recordformats.h"
#include "catalogue/triggers.h"
#include "ods/blobstore.h"
#include "ods/littleendian.h"
#include "ods/recordimage.h"
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
        if (node.pageType == ods::kType12Page)
            break;  // its blobs, read by the definitions' walk
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
    case ods::kRelFieldDimensions:
        if (node.pageType == ods::kDataPage)
            ReadFieldDimensions(scan, node);
        break;
    case ods::kRelTwelve:
        if (node.pageType == ods::kDataPage)
            ReadTriggers(scan, node);
        break;
    case ods::kRelProcedures:
        if (node.pageType == ods::kDataPage)
            ReadProcedures(scan, node);
        break;
    case ods::kRelProcedureParameters:
        if (node.pageType == ods::kDataPage)
            ReadProcedureParameters(scan, node);
        break;
    case ods::kRelExceptions:
        if (node.pageType == ods::kDataPage)
            ReadExceptions(scan, node);
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
        if (scan.pageLists[i].relationId == ods::kRelRelations && scan.pageLists[i].pageType != ods::kType12Page)
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

namespace {

// A view's name and the id of its stored source text. In a relations
// record, decompressed: the view's BLR blob id at 4, its source's at 12
// (null bit 1 set: no source), the relation id at 28, the name at 38. Only
// user relations and ids of the relations catalogue's own blobs are taken.
std::optional<std::pair<std::string, ods::BlobId>> ViewSource(const ods::ReadingContext& context,
                                                              ods::RecordStream& record)
{
    constexpr std::size_t kSourceAt = 12;
    constexpr std::size_t kRelationIdAt = 28;
    constexpr std::size_t kNameAt = 38;
    constexpr std::size_t kPrefix = kNameAt + ods::kNameFieldWidth;
    constexpr unsigned kSourceNullBit = 0x02;
    const auto opened = OpenCatalogueRecord(context, record, ods::kRelRelations);
    if (!opened)
        return std::nullopt;
    ods::RecordImage image;
    image.Expand(opened->data.bytes(), kPrefix);
    if (image.size() < kPrefix)
        return std::nullopt;
    const std::span<const std::byte> data = image.bytes();
    if ((std::to_integer<unsigned>(data[0]) & kSourceNullBit) != 0)
        return std::nullopt;
    const ods::BlobId id{static_cast<std::uint32_t>(ods::LittleEndian(data, kSourceAt, 4)),
                         static_cast<std::uint32_t>(ods::LittleEndian(data, kSourceAt + 4, 4))};
    if (id.relationId != ods::kRelRelations || ods::LittleEndian(data, kRelationIdAt, 2) < ods::kFirstUserRelation)
        return std::nullopt;
    std::string name = ods::DecodeText(data.subspan(kNameAt, ods::kNameFieldWidth));
    name.erase(std::min(name.find('\0'), name.find_last_not_of(' ') + 1));
    if (name.empty())
        return std::nullopt;
    return std::make_pair(ods::SpacesToUnderscores(std::move(name)), id);
}

}  // namespace

std::map<std::string, std::string> ReadStoredTexts(CatalogueContext& scan, std::uint32_t relationId,
                                                   const std::vector<std::pair<std::string, ods::BlobId>>& sources)
{
    std::map<std::string, std::string> texts;
    constexpr std::size_t kLongestSource = 60000;
    ods::BlobStore store(scan.context, scan.pageLists, relationId);
    std::vector<ods::BlobId> ids;
    for (const auto& source : sources)
        ids.push_back(source.second);
    store.FitRecordNumbering(ids);
    for (const auto& [name, id] : sources) {
        if (scan.link.Stopped())
            break;
        const std::optional<ods::BlobLocation> location = store.Locate(id);
        if (!location)
            continue;
        std::vector<std::byte> bytes;
        const ods::BlobReadResult read = store.Read(
            *location,
            [&bytes](std::span<const std::byte> piece) {
                if (bytes.size() + piece.size() > kLongestSource)
                    return false;
                bytes.insert(bytes.end(), piece.begin(), piece.end());
                return true;
            },
            &scan.link.stopRequested);
        if (read.status != ods::BlobReadStatus::Complete)
            continue;
        std::string text = ods::DecodeText(bytes);
        const std::size_t first = text.find_first_not_of(" \t\r\n");
        if (first == std::string::npos)
            continue;
        text.erase(text.find_last_not_of(" \t\r\n") + 1);
        texts[name] = text.substr(first);
    }
    return texts;
}

void ReadRelations(CatalogueContext& scan, const ods::PageListNode& node)
{
    const std::size_t pages = std::min(node.pagePositions.size(), kMaxRelationPages);
    scan.link.Progress(job::kProgressStart, static_cast<std::intptr_t>(pages));
    ods::SlotWalkHooks hooks;
    hooks.afterSlot = [&scan] { scan.link.Progress(job::kProgressStep); };
    std::vector<std::pair<std::string, ods::BlobId>> sources;
    ods::ForEachRecordSlot(
        scan.context, node, scan.link.stopRequested,
        [&scan, &sources](ods::RecordStream& record) {
            ods::RecordStream whole = record;
            if (auto view = ViewSource(scan.context, whole))
                sources.push_back(std::move(*view));
            TABLEIDNAME relation;
            if (!ReadRelationRecord(record, relation))
                return;
            if (relation.relationId >= ods::kFirstUserRelation)
                ++scan.tableCount;
            scan.model.relations.push_back(std::move(relation));
        },
        hooks, pages);
    if (!sources.empty())
        scan.model.viewSources = ReadStoredTexts(scan, ods::kRelRelations, sources);
    scan.link.Progress(job::kProgressEnd);
}

}  // namespace ravelin::catalogue

// Fuzz target, third depth: one record. The input is a record's stored bytes
// as a slot gives them (header, then compressed runs). Reads its header in
// every variant and runs every walk over it: the record stream's run walks,
// the relation-fields record walk and its default-text walk, and the walks of
// the field-definition, index-segment, index and relation-constraint records.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "catalogue/cataloguerecord.h"
#include "catalogue/fielddefinitions.h"
#include "catalogue/indices.h"
#include "catalogue/relationfieldwalk.h"
#include "fuzz/fuzzinput.h"
#include "ods/recordformat.h"
#include "ods/recordimage.h"
#include "ods/recordstream.h"

namespace {

using namespace ravelin;

void WalkRuns(const std::vector<std::byte>& bytes, ods::HeaderVariant variant)
{
    ods::RecordStream record(bytes);
    record.ReadRecordHeader(variant);
    const std::size_t data = record.offset();
    record.SkipDecompressed(28);
    record.ContinueName(std::string());
    record.SeekTo(data);
    while (record.CanReadControl()) {
        const std::size_t before = record.offset();
        const std::uint8_t control = record.ReadControl();
        const std::uint8_t next = record.ReadByte();
        record.CollectRepeatText(control, next);
        if (record.CanReadControl()) {
            const std::uint8_t c = record.ReadControl();
            record.CollectFieldSource(c, record.ReadByte());
        }
        if (record.offset() <= before)
            break;
    }
    record.SeekTo(data);
    record.ReadStoredString(40, true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::byte> bytes = fuzz::Copy(data, size);
    WalkRuns(bytes, ods::HeaderVariant::RelationPrePass);
    WalkRuns(bytes, ods::HeaderVariant::RelationFields);

    {
        // The relation-fields reader's whole record walk, into a model.
        catalogue::SchemaModel model;
        catalogue::RelationFieldsWalk walk(model, nullptr, {});
        ods::RecordStream record(bytes);
        walk.ReadRelationFieldRecord(record);
        walk.Finish();
    }
    {
        ods::RecordStream record(bytes);
        const ods::HeaderVerdict verdict = record.ReadRecordHeader(ods::HeaderVariant::RelationFields);
        if (verdict == ods::HeaderVerdict::Accepted || verdict == ods::HeaderVerdict::AcceptedFirstFragment)
            catalogue::WalkRelationFieldRecord(record, verdict == ods::HeaderVerdict::AcceptedFirstFragment, {});
    }
    {
        ods::RecordStream record(bytes);
        record.SeekTo(10);
        catalogue::ReadDefaultSourceText(record);
    }

    ods::RecordStream stored(bytes);
    if (const auto opened = catalogue::OpenCatalogueRecord(stored)) {
        ods::RecordStream definition = opened->data;
        catalogue::ParseFieldDefinition(definition);
        ods::RecordStream segment = opened->data;
        catalogue::ParseIndexSegment(segment);
        ods::RecordStream index = opened->data;
        catalogue::ParseIndex(index);
        ods::RecordStream constraint = opened->data;
        catalogue::ParseRelationConstraint(constraint);
    }

    if (auto fields = ods::ParseFormatDescriptor(bytes)) {
        ods::RecordFormat format;
        format.relationId = 128;
        format.number = 1;
        format.fields = std::move(*fields);
        const ods::SlackCheck check(format);
        check.FindStrayByte(bytes);
        ods::FindStraySlackByte(format, bytes);
        for (const ods::FormatField& field : format.fields) {
            format.Stored(field);
            field.characterSet();
        }
        format.RecordLength();
    }
    {
        const std::span<const std::byte> whole(bytes);
        const std::size_t half = whole.size() / 2;
        ods::RecordImage image;
        image.Expand(whole.first(half), 4096);
        image.Append(whole.subspan(half));
        image.Field(8, 16);
        ods::RecordImage older;
        older.Expand(whole.first(half), 512);
        older.ApplyDifferences(whole.subspan(half), 300);
    }
    return 0;
}

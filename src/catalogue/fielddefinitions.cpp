#include "catalogue/fielddefinitions.h"

#include <array>
#include <span>
#include <utility>
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

// count bytes, little-endian; bytes beyond the fourth only move the cursor.
std::uint32_t ReadLittleEndian(ods::RecordStream& data, unsigned count)
{
    std::uint32_t value = 0;
    for (unsigned i = 0; i < count; ++i) {
        const std::uint32_t byte = data.ReadByte();
        if (i < 4)
            value |= byte << (8 * i);
    }
    return value;
}

// A one-byte count k, then k bytes little-endian.
std::uint32_t ReadCounted(ods::RecordStream& data) { return ReadLittleEndian(data, data.ReadByte()); }

// A count k; more than 2 bytes means 2 leading bytes to pass over first.
std::uint32_t ReadCountedSkippingExtra(ods::RecordStream& data)
{
    unsigned count = data.ReadByte();
    if (count > 2) {
        data.SeekBy(2);
        count -= 2;
    }
    return ReadLittleEndian(data, count);
}

bool IsFixedSizeByte(std::uint8_t t)
{
    return t == kTypeSmallint || t == kTypeInteger || t == kTypeFloat || t == kTypeDouble || t == kTypeDate ||
           t == kTypeTime || t == kTypeTimestamp || t == kTypeBoolean;
}

constexpr unsigned AlignUp4(unsigned value) { return (value + 3u) & ~3u; }

// The blank filler after a field name: repeat runs of blanks and literal runs
// holding only blanks. Yields the number of blanks; the cursor ends on the
// first run that is not filler.
unsigned ReadBlankFiller(ods::RecordStream& data)
{
    unsigned blanks = 0;
    while (data.remainingLength() >= 2) {
        const std::size_t at = data.offset();
        const std::uint8_t control = data.ReadByte();
        if (IsRepeatRun(control)) {
            if (data.ReadByte() != ' ') {
                data.SeekTo(at);
                break;
            }
            blanks += RepeatCount(control);
            continue;
        }
        bool allBlank = IsLiteralRun(control) && control <= data.remainingLength();
        for (std::size_t i = 0; allBlank && i < control; ++i)
            allBlank = data.bytes()[data.offset() + i] == std::byte{' '};
        if (!allBlank) {
            data.SeekTo(at);
            break;
        }
        data.SeekBy(control);
        blanks += control;
    }
    return blanks;
}

// Moves over whole runs until decoded reaches target (the field length).
// A zero run may end one byte beyond it, having taken in a low length byte of
// 0 (lengths 256, 512, ...). False when the record ends first or a run
// passes further beyond target.
bool WalkTo(ods::RecordStream& data, unsigned decoded, unsigned target)
{
    bool lastRunZeros = false;
    while (decoded < target) {
        if (!data.CanReadControl())
            return false;
        const std::uint8_t control = data.ReadControl();
        if (control == 0)
            continue;
        if (IsRepeatRun(control)) {
            lastRunZeros = data.ReadByte() == 0;
            decoded += RepeatCount(control);
        } else {
            lastRunZeros = false;
            data.SeekBy(control);
            decoded += control;
        }
    }
    return decoded == target || (decoded == target + 1 && lastRunZeros);
}

// The type part of the record, from the control byte at the field length on.
// The shapes are those of an intact record: a literal run of 1 byte (field
// length below 256), of 7 bytes (a scaled number), 5 or 4 bytes.
void ReadTypePart(ods::RecordStream& data, FieldDefinition& definition, std::uint8_t& typeByte)
{
    const std::size_t lengthRun = data.offset();
    const std::uint8_t shape = data.ReadControl();
    std::uint32_t length = 0;
    switch (shape) {
    case 7: {
        length = data.ReadWord();
        const std::uint16_t storedScale = data.ReadWord();
        definition.scale = static_cast<std::uint16_t>(0u - storedScale);
        data.SeekBy(2);
        typeByte = data.ReadByte();
        data.SeekBy(4);
        definition.precision = static_cast<std::uint16_t>(ReadCounted(data));
        break;
    }
    case 5:
        data.SeekBy(4);
        typeByte = data.ReadByte();
        data.SeekBy(4);
        length = ReadCountedSkippingExtra(data);
        break;
    case 4:
        data.SeekBy(3);
        typeByte = data.ReadByte();
        data.SeekBy(4);
        length = (ReadCounted(data) * 256u) & 0xFFFFu;
        break;
    case 1: {
        data.SeekBy(3);
        const std::uint8_t next = data.ReadByte();
        if (next == 1) {
            const std::uint8_t t = data.ReadByte();
            if (t == kTypeChar || t == kTypeVarchar) {
                data.SeekBy(-6);
                data.SeekBy(4);
                typeByte = static_cast<std::uint8_t>(ReadCounted(data));
                // The character length follows two zero runs. When they do
                // not span the zeros of an intact definition (an array, a
                // computed field), the length is the field length itself.
                const std::uint8_t run1 = data.ReadByte();
                const std::uint8_t zero1 = data.ReadByte();
                const std::uint8_t run2 = data.ReadByte();
                const std::uint8_t zero2 = data.ReadByte();
                const bool intact = IsRepeatRun(run1) && zero1 == 0 && IsRepeatRun(run2) && zero2 == 0 &&
                                    RepeatCount(run1) + RepeatCount(run2) == ods::kZerosBeforeCharacterLength;
                length = ReadCountedSkippingExtra(data);
                if (!intact) {
                    data.SeekTo(lengthRun);
                    length = ReadCounted(data);
                }
            } else if (IsFixedSizeByte(t)) {
                data.SeekBy(-6);
                length = ReadCounted(data);
                data.SeekBy(2);
                typeByte = static_cast<std::uint8_t>(ReadCounted(data));
            } else if (t == kTypeBlob) {
                data.SeekBy(6);
                length = ReadCounted(data);
                if (length == 4)
                    data.SeekBy(2);
                length = ReadCounted(data);
                data.SeekBy(2);
                typeByte = static_cast<std::uint8_t>(ReadCounted(data));
            }
        } else if (next > 1) {
            const std::uint16_t fieldType = data.ReadWord();
            data.SeekBy(-7);
            length = ReadCounted(data);
            data.SeekBy(2);
            std::uint8_t count = data.ReadByte();
            if (fieldType == ods::kBlobFieldType) {
                if (data.ReadWord() != ods::kBlobFieldType)
                    break;
                typeByte = kTypeBlob;
                count = static_cast<std::uint8_t>(count - 2);
                if (count == 2) {
                    data.SeekBy(2);
                    definition.blobSubTypeName = BlobSubTypeName(0);
                } else if (count == 1) {
                    definition.blobSubTypeName = BlobSubTypeName(data.ReadByte());
                } else if (count == 0) {
                    definition.blobSubTypeName = BlobSubTypeName(9);
                }
                data.SeekBy(2);
                data.ReadByte();
                definition.blobSegmentByte = data.ReadByte();
            } else {
                // A whole number stored with a sub-type: the sub-type byte
                // (1 NUMERIC, 2 DECIMAL) is the type byte.
                definition.scale = 0;
                data.SeekBy(2);
                count = static_cast<std::uint8_t>(count - 2);
                typeByte = static_cast<std::uint8_t>(ReadLittleEndian(data, count));
                data.SeekBy(4);
                definition.precision = static_cast<std::uint16_t>(ReadCounted(data));
            }
        }
        break;
    }
    default:
        break;
    }
    definition.length = static_cast<std::uint16_t>(length);
}

// The decompressed bytes [at, at + out.size()) of the record whose runs
// begin at start; false when the record ends first. The cursor is left
// wherever the walk stopped.
bool ReadDecompressedBytes(ods::RecordStream& data, std::size_t start, std::size_t at, std::span<std::uint8_t> out)
{
    data.SeekTo(start);
    const std::size_t end = at + out.size();
    std::size_t decoded = 0;
    while (decoded < end) {
        if (!data.CanReadControl())
            return false;
        const std::uint8_t control = data.ReadControl();
        if (control == 0)
            return false;
        if (IsRepeatRun(control)) {
            const std::uint8_t byte = data.ReadByte();
            for (unsigned n = RepeatCount(control); n > 0; --n, ++decoded)
                if (decoded >= at && decoded < end)
                    out[decoded - at] = byte;
            continue;
        }
        if (control > data.remainingLength())
            return false;
        if (decoded + control <= at) {
            data.SeekBy(control);
            decoded += control;
            continue;
        }
        for (unsigned n = control; n > 0; --n, ++decoded) {
            if (decoded >= at && decoded < end)
                out[decoded - at] = data.ReadByte();
            else
                data.SeekBy(1);
        }
    }
    return true;
}

// The dimension count of the definition whose field length stands at
// lengthAt: 0 for a field that is not an array, whose dimensions are NULL,
// or whose record ends before them.
std::uint16_t ReadDimensions(ods::RecordStream& data, std::size_t start, std::size_t lengthAt)
{
    std::array<std::uint8_t, ods::kFieldNullFlagBytes> flags{};
    std::array<std::uint8_t, 2> word{};
    constexpr unsigned bit = ods::kFieldDimensionsFieldNumber;
    if (!ReadDecompressedBytes(data, start, 0, flags) || ((flags[bit / 8] >> (bit % 8)) & 1u) != 0 ||
        !ReadDecompressedBytes(data, start, lengthAt + ods::kFieldDimensionsAfterLength, word))
        return 0;
    return static_cast<std::uint16_t>(word[0] | (word[1] << 8));
}

}  // namespace

MappedType MapTypeByte(std::uint8_t typeByte, std::uint16_t length)
{
    switch (typeByte) {
    case kTypeNumeric: return {kTypeNumeric, length, "NUMERIC"};
    case kTypeDecimal: return {kTypeDecimal, length, "DECIMAL"};
    case kTypeBlob: return {kTypeBlob, 8, "BLOB"};
    case kTypeSmallint: return {kTypeSmallint, 2, "SMALLINT"};
    case kTypeInteger: return {kTypeInteger, 4, "INTEGER"};
    case kTypeFloat: return {kTypeFloat, 4, "FLOAT"};
    case kTypeDate: return {kTypeDate, 4, "DATE"};
    case kTypeTime: return {kTypeTime, 4, "TIME"};
    case kTypeChar: return {kTypeChar, length, "CHAR"};
    case kTypeBigint: return {kTypeBigint, 8, "BIGINT"};
    case kTypeBoolean: return {kTypeBoolean, 2, "BOOLEAN"};
    case kTypeDouble: return {kTypeDouble, 8, "DOUBLE PRECISION"};
    case kTypeTimestamp: return {kTypeTimestamp, 8, "TIMESTAMP"};
    case kTypeVarchar: return {kTypeVarchar, length, "VARCHAR"};
    default: return {typeByte, length, ""};
    }
}

std::string BlobSubTypeName(std::uint8_t subType)
{
    static constexpr std::array<const char*, 10> kNames = {"DEFAULT", "TEXT",   "BLR",
                                                           "ACL",     "RANGES", "SUMMARY",
                                                           "FORMAT",  "TRANSACTION_DESCRIPTION",
                                                           "EXTERNAL_FILE_DESCRIPTION", "UNKNOWN"};
    return subType < kNames.size() ? kNames[subType] : "";
}

std::optional<FieldDefinition> ParseFieldDefinition(ods::RecordStream& data)
{
    const std::size_t start = data.offset();
    // The first literal run opens with the null-flag bytes.
    const std::uint8_t firstRun = data.ReadControl();
    if (!IsLiteralRun(firstRun) || firstRun < ods::kFieldNullFlagBytes)
        return std::nullopt;
    data.SeekBy(ods::kFieldNullFlagBytes);
    unsigned decoded = ods::kFieldNullFlagBytes;
    std::uint8_t nameRun = static_cast<std::uint8_t>(firstRun - ods::kFieldNullFlagBytes);
    if (nameRun == 0) {
        // Newer files: further null-flag bytes, a zero run when the fields
        // they cover are present; the name is the next literal run.
        const std::uint8_t control = data.ReadControl();
        if (!IsRepeatRun(control) || data.ReadByte() != 0)
            return std::nullopt;
        decoded += RepeatCount(control);
        nameRun = data.ReadControl();
        if (!IsLiteralRun(nameRun))
            return std::nullopt;
    }
    const unsigned nameStart = decoded;

    FieldDefinition definition;
    const std::size_t nameAt = data.offset();
    definition.userDomain = data.ReadStoredString(4) != "RDB$";
    data.SeekTo(nameAt);
    unsigned stored = 0;
    definition.name = ReadRunName(data, nameRun, &stored);

    // The blank filler ends the name field, or the name field and a blank
    // query-name field after it.
    const unsigned filled = stored + ReadBlankFiller(data);
    if (filled != ods::kNameFieldWidth && filled != ods::kFieldNameAndQueryNameWidth)
        return std::nullopt;
    const unsigned lengthAt =
        AlignUp4(nameStart + ods::kFieldNameAndQueryNameWidth) + ods::kFieldBlobIdsBeforeLength;
    if (!WalkTo(data, nameStart + filled, lengthAt))
        return std::nullopt;

    if (!data.CanReadControl())
        return std::nullopt;
    std::uint8_t typeByte = 0;
    ReadTypePart(data, definition, typeByte);
    // A definition whose type could not be read would only take a type away.
    if (typeByte == 0)
        return std::nullopt;
    const MappedType mapped = MapTypeByte(typeByte, definition.length);
    definition.typeCode = mapped.typeCode;
    definition.length = mapped.length;
    definition.typeName = mapped.typeName;
    definition.dimensions = ReadDimensions(data, start, lengthAt);
    if (definition.dimensions != 0 && (definition.typeCode == kTypeNumeric || definition.typeCode == kTypeDecimal)) {
        // The dimension count breaks the zero runs the type part's shapes
        // expect before the precision: it is read at its place instead.
        std::array<std::uint8_t, 2> word{};
        if (ReadDecompressedBytes(data, start, lengthAt + ods::kFieldPrecisionAfterLength, word))
            definition.precision = static_cast<std::uint16_t>(word[0] | (word[1] << 8));
    }
    return definition;
}

void ApplyFieldDefinition(SchemaModel& model, const FieldDefinition& definition, const std::atomic<bool>& stop)
{
    for (TableNode& table : model.tables) {
        for (COLUMN& column : table.columns) {
            if (stop.load(std::memory_order_relaxed))
                return;
            if (column.fieldSource.empty())
                break;
            if (column.fieldSource != definition.name)
                continue;
            column.typeCode = definition.typeCode;
            column.length = definition.length;
            column.typeName = definition.typeName;
            column.precision = definition.precision;
            column.scale = definition.scale;
            column.blobSegmentByte = definition.blobSegmentByte;
            column.blobSubTypeName = definition.blobSubTypeName;
            column.dimensions = definition.dimensions;
            return;
        }
    }
}

std::optional<FieldExtras> ReadFieldExtras(std::span<const std::byte> runs, ods::RecordImage& image)
{
    constexpr std::size_t kShortRecord = 380;  // 4 null-flag bytes
    constexpr std::size_t kLongRecord = 384;   // 8 null-flag bytes
    image.Expand(runs, kLongRecord);
    if (image.overran() || (image.size() != kShortRecord && image.size() != kLongRecord))
        return std::nullopt;
    const std::span<const std::byte> data = image.bytes();
    const std::size_t shift = image.size() == kLongRecord ? 4 : 0;
    const auto isNull = [&data](unsigned field) {
        return (std::to_integer<unsigned>(data[field / 8]) >> (field % 8) & 1u) != 0;
    };
    FieldExtras extras;
    extras.name = ods::DecodeText(data.subspan(4 + shift, ods::kNameFieldWidth));
    extras.name.erase(extras.name.find_last_not_of(' ') + 1);
    constexpr unsigned kValidationSourceField = 3;
    constexpr unsigned kComputedBlrField = 4;
    constexpr unsigned kComputedSourceField = 5;
    constexpr unsigned kDefaultSourceField = 7;
    constexpr unsigned kNullFlagField = 23;
    // A source blob of this catalogue, where the field holds one.
    const auto sourceBlob = [&](unsigned field, std::size_t at) -> std::optional<ods::BlobId> {
        if (isNull(field))
            return std::nullopt;
        const ods::BlobId id{static_cast<std::uint32_t>(ods::LittleEndian(data, at + shift, 4)),
                             static_cast<std::uint32_t>(ods::LittleEndian(data, at + 4 + shift, 4))};
        if (id.relationId != ods::kRelFields)
            return std::nullopt;
        return id;
    };
    extras.computed = !isNull(kComputedBlrField) && ods::LittleEndian64(data, 156 + shift) != 0;
    extras.validationSource = sourceBlob(kValidationSourceField, 148);
    extras.computedSource = sourceBlob(kComputedSourceField, 164);
    extras.defaultSource = sourceBlob(kDefaultSourceField, 180);
    extras.notNull = !isNull(kNullFlagField) && ods::LittleEndian(data, 370 + shift, 2) != 0;
    return extras;
}

void ReadFieldDefinitions(CatalogueContext& scan, const ods::PageListNode& node)
{
    job::WorkerLink& link = scan.link;
    link.Progress(job::kProgressStart, static_cast<std::intptr_t>(node.pagePositions.size()));
    ods::SlotWalkHooks hooks;
    hooks.afterSlot = [&link] { link.Progress(job::kProgressStep); };
    ods::RecordImage image;
    std::vector<std::pair<std::string, ods::BlobId>> computedSources;
    std::vector<std::pair<std::string, ods::BlobId>> checkSources;    // of domains
    std::vector<std::pair<std::string, ods::BlobId>> defaultSources;  // of domains
    ods::ForEachRecordSlot(
        scan.context, node, link.stopRequested,
        [&](ods::RecordStream& record) {
            auto opened = OpenCatalogueRecord(scan.context, record, node.relationId);
            if (!opened || opened->format > ods::kNewestFieldRecordFormat)
                return;
            const std::optional<FieldExtras> extras = ReadFieldExtras(opened->data.bytes(), image);
            const auto definition = ParseFieldDefinition(opened->data);
            if (!definition)
                return;
            COLUMN& type = scan.model.fieldTypes[definition->name];
            type.name = definition->name;
            type.typeCode = definition->typeCode;
            type.length = definition->length;
            type.typeName = definition->typeName;
            type.precision = definition->precision;
            type.scale = definition->scale;
            type.blobSubTypeName = definition->blobSubTypeName;
            type.dimensions = definition->dimensions;
            // The fixed fields count only when they name the same field.
            if (extras && extras->name == definition->name) {
                if (extras->computed) {
                    scan.model.computedFields.insert(definition->name);
                    if (extras->computedSource)
                        computedSources.emplace_back(definition->name, *extras->computedSource);
                }
                if (extras->notNull)
                    scan.model.notNullFields.insert(definition->name);
                if (definition->userDomain && extras->validationSource)
                    checkSources.emplace_back(definition->name, *extras->validationSource);
                if (definition->userDomain && extras->defaultSource)
                    defaultSources.emplace_back(definition->name, *extras->defaultSource);
            }
            if (definition->userDomain) {
                COLDOMAIN domain;
                domain.name = definition->name;
                domain.typeCode = definition->typeCode;
                domain.length = definition->length;
                domain.typeName = definition->typeName;
                domain.precision = definition->precision;
                domain.scale = definition->scale;
                domain.blobSubTypeName = definition->blobSubTypeName;
                domain.blobSegmentByte = definition->blobSegmentByte;
                domain.dimensions = definition->dimensions;
                scan.model.domains.push_back(std::move(domain));
            }
            ApplyFieldDefinition(scan.model, *definition, link.stopRequested);
        },
        hooks);
    if (!computedSources.empty() && !link.Stopped()) {
        for (auto& [name, text] : ReadStoredTexts(scan, node.relationId, computedSources))
            scan.model.computedSources[name] = std::move(text);
    }
    if (!checkSources.empty() && !link.Stopped()) {
        for (auto& [name, text] : ReadStoredTexts(scan, node.relationId, checkSources))
            scan.model.domainChecks[name] = std::move(text);
    }
    if (!defaultSources.empty() && !link.Stopped()) {
        for (auto& [name, text] : ReadStoredTexts(scan, node.relationId, defaultSources))
            scan.model.domainDefaults[name] = std::move(text);
    }
    if (!link.Stopped())
        link.Progress(job::kProgressEnd);
}

void ApplyUserDomains(CatalogueContext& scan)
{
    SchemaModel& model = scan.model;
    job::WorkerLink& link = scan.link;
    link.Progress(job::kProgressStart, static_cast<std::intptr_t>(model.domains.size()));
    // Every column that uses a domain takes its type, in every table.
    for (auto domain = model.domains.rbegin(); domain != model.domains.rend(); ++domain) {
        if (link.Stopped())
            return;
        for (TableNode& table : model.tables) {
            for (COLUMN& column : table.columns) {
                if (column.fieldSource.empty())
                    break;
                if (column.fieldSource != domain->name)
                    continue;
                column.typeCode = domain->typeCode;
                column.length = domain->length;
                column.typeName = domain->typeName;
                column.precision = domain->precision;
                column.scale = domain->scale;
                column.blobSubTypeName = domain->blobSubTypeName;
                column.blobSegmentByte = domain->blobSegmentByte;
                column.dimensions = domain->dimensions;
            }
        }
        link.Progress(job::kProgressStep);
    }
    link.Progress(job::kProgressEnd);
}

}  // namespace ravelin::catalogue
